// vantry-bench-load: times the whole load of a data directory without and with the opt cache,
// and with --recalculate the Recalculate job for all funds.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/jobs.h"
#include "app/loadworker.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/sidefiles.h"
#include "platform/platform.h"

#include "bench_support.h"

namespace {

const unsigned MAX_RUNS = 100;
// The opt file's modification time is set to this before a cached load; a load that
// searched any fund rewrites the file and so changes it.
const time_t OPT_MARK_TIME = 1000000000;

struct Options {
    unsigned runs = 3;
    bool keep = false;
    bool recalculate = false;
    const char *tmpDir = nullptr;
    const char *dataDir = nullptr;
};

// The phases: loads without the cache, loads with it, and Recalculate jobs for all funds,
// each after a load with the cache (only the job is timed).
enum Phase { PHASE_FIRST, PHASE_SECOND, PHASE_RECALCULATE };

// What one phase (all its loads) hands back from its child process.
struct PhaseResult {
    uint32_t runs;
    double seconds[MAX_RUNS];
    uint32_t fundCount;
    uint32_t dateCount;
    uint32_t dynamicMemory;       // DynamicMemoryUsed right after the last load
    uint32_t dynamicAfterFree;    // and after FreeDataSet and FreeOptTable
    uint32_t reports;
    uint32_t optMissing;          // loads after which there was no opt file
    uint32_t optRewritten;        // loads that rewrote the opt file (a search ran)
    int failed;                   // the phase could not run at all
};

int ParseOptions(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if ((strcmp(a, "--runs") == 0 || strcmp(a, "-n") == 0) && i + 1 < argc) {
            char *end;
            long n = strtol(argv[++i], &end, 10);
            if (*end || n < 1 || n > (long)MAX_RUNS)
                return 1;
            o->runs = (unsigned)n;
        } else if (strcmp(a, "--keep") == 0) {
            o->keep = true;
        } else if (strcmp(a, "--recalculate") == 0) {
            o->recalculate = true;
        } else if (strcmp(a, "--tmp") == 0 && i + 1 < argc) {
            o->tmpDir = argv[++i];
        } else if (a[0] == '-' || o->dataDir) {
            return 1;
        } else {
            o->dataDir = a;
        }
    }
    return o->dataDir ? 0 : 1;
}

// Copies the regular files of from into to, all but the opt cache. Counts the fund files.
int CopyDataDir(const char *from, const std::string &to, uint32_t *navFiles, uint64_t *bytes,
                int *hadOpt)
{
    namespace fs = std::filesystem;
    std::error_code listed, ec;
    for (const fs::directory_entry &e : fs::directory_iterator(from, listed)) {
        std::string name = e.path().filename().string();
        if (!e.is_regular_file(ec))
            continue;
        if (name == "opt") {
            *hadOpt = 1;
            continue;
        }
        if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".NAV") == 0)
            (*navFiles)++;
        if (!fs::copy_file(e.path(), to + "/" + name, ec)) {
            fprintf(stderr, "vantry-bench-load: cannot copy %s: %s\n", e.path().c_str(),
                    ec.message().c_str());
            return 0;
        }
        *bytes += e.file_size(ec);
    }
    return !listed;
}

void RemoveTree(const std::string &root)
{
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

// One line per fund of what the analysis found, as name=value fields, to compare a
// searched load with a cached one.
void WriteFingerprint(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "w");
    if (!f)
        return;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *r = &FundTable[i];
        fprintf(f, "fund=%s points=%u navChange=%.17g taxEfficiency=%.17g",
                r->shortName ? r->shortName : "-", (unsigned)r->pointCount, r->navChange,
                r->taxEfficiency);
        for (int s = 0; s < 2; s++) {
            const MaSettings *m = &r->maSettings[s];
            const SeriesStats *st = &r->stats[s];
            fprintf(f, " s%d.maKind=%u", s, (unsigned)m->maKind);
            for (int w = 0; w < 4; w++)
                fprintf(f, " s%d.words%d=%08x", s, w, (unsigned)m->words[w]);
            for (int k = 0; k < 5; k++)
                fprintf(f, " s%d.maAverage%d=%.17g", s, k + 1, m->maAverage[k]);
#define FIGURE(name) {#name, st->name}
            const std::pair<const char *, double> figures[] = {
                FIGURE(ytdReturn),    FIGURE(volatility),      FIGURE(rewardRisk),
                FIGURE(sharpe),       FIGURE(totalReturn),     FIGURE(return1Year),
                FIGURE(return5Year),  FIGURE(currentStrength), FIGURE(maSignal),
                FIGURE(macdStrength), FIGURE(rocLatest),       FIGURE(maxMaEquity)};
#undef FIGURE
            for (const auto &figure : figures)
                fprintf(f, " s%d.%s=%.17g", s, figure.first, figure.second);
        }
        fprintf(f, "\n");
    }
    fclose(f);
}

// The loads of one phase, in this (child) process. PHASE_FIRST: every load starts without
// an opt file; otherwise every load finds the one the first phase wrote.
void RunPhase(const std::string &data, const std::string &fingerprint, unsigned runs,
              Phase phase, PhaseResult *r)
{
    int cached = phase != PHASE_FIRST;
    std::string opt = data + "/opt";
    memset(r, 0, sizeof *r);
    PlatSetMessageSink(CountReport);
    PlatSetProgressSink(nullptr);
    DataDirWritable = 1;
    if (!SetDataDir(data.c_str())) {
        r->failed = 1;
        return;
    }
    for (unsigned run = 0; run < runs; run++) {
        struct stat before = {}, after;
        if (!cached) {
            unlink(opt.c_str());
        } else {
            struct timeval mark[2] = {{OPT_MARK_TIME, 0}, {OPT_MARK_TIME, 0}};
            utimes(opt.c_str(), mark);
            stat(opt.c_str(), &before);
        }
        double start = Now();
        LoadThread(nullptr);
        if (phase == PHASE_RECALCULATE) {
            // The menu's "Recalculate optimal values for *ALL* funds", as the window runs it.
            JobRequest job = {JOB_RECALCULATE, JOB_ALL_FUNDS, 0, -1};
            start = Now();
            RecalculationJob(&job);
        }
        r->seconds[run] = Now() - start;
        r->runs = run + 1;
        r->fundCount = FundCount;
        r->dateCount = DateCount;
        r->dynamicMemory = DynamicMemoryUsed;
        if (stat(opt.c_str(), &after) != 0)
            r->optMissing++;
        else if (cached && after.st_mtime != before.st_mtime)
            r->optRewritten++;
        if (run + 1 == runs)
            WriteFingerprint(fingerprint);
        FreeDataSet();
        FreeOptTable();
        r->dynamicAfterFree = DynamicMemoryUsed;
    }
    r->reports = Reports;
}

// Runs a phase in a child process so that its peak resident memory is its own; the child
// leaves its result in a page shared with this process.
int RunPhaseInChild(const std::string &data, const std::string &fingerprint, unsigned runs,
                    Phase phase, PhaseResult *r, long *maxRssKib)
{
    void *shared = mmap(nullptr, sizeof *r, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                        -1, 0);
    if (shared == MAP_FAILED)
        return 0;
    fflush(stdout);
    fflush(stderr);
    pid_t child = fork();
    if (child == 0) {
        RunPhase(data, fingerprint, runs, phase, (PhaseResult *)shared);
        fflush(stderr);
        _exit(0);
    }
    int status = -1;
    struct rusage usage = {};
    while (child > 0 && wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    *maxRssKib = usage.ru_maxrss;
    memcpy(r, shared, sizeof *r);
    munmap(shared, sizeof *r);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        static const char *const names[] = {"first", "second", "recalculate"};
        fprintf(stderr, "vantry-bench-load: the %s phase did not finish (status %d)\n",
                names[phase], status);
        return 0;
    }
    return !r->failed;
}

double Median(const PhaseResult *r)
{
    std::vector<double> v(r->seconds, r->seconds + r->runs);
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintPhase(const char *title, const PhaseResult *r, long maxRssKib)
{
    double median = Median(r);
    printf("%s, %u run%s:\n", title, (unsigned)r->runs, r->runs == 1 ? "" : "s");
    printf("  wall time   median %.3f s, min %.3f s (runs:", median,
           *std::min_element(r->seconds, r->seconds + r->runs));
    for (uint32_t i = 0; i < r->runs; i++)
        printf(" %.3f", r->seconds[i]);
    printf(")\n");
    printf("  throughput  %.1f funds/s (median)\n", median > 0 ? r->fundCount / median : 0.0);
    printf("  memory      peak RSS %.1f MiB, DynamicMemoryUsed %u bytes after the load "
           "(%u after freeing)\n",
           maxRssKib / 1024.0, (unsigned)r->dynamicMemory, (unsigned)r->dynamicAfterFree);
    printf("  reports     %u\n", (unsigned)r->reports);
}

// The funds whose searched (a) and cached (b) results differ. Adds to shown, per differing
// field name, the number of funds and the first fund's two values. Every fund has the same
// fields, so the two files are walked field by field.
uint32_t CompareFingerprints(const std::string &a, const std::string &b,
                             std::vector<std::string> *shown)
{
    std::ifstream fa(a), fb(b);
    if (!fa || !fb) {
        shown->push_back("  a fingerprint file is missing\n");
        return 1;
    }
    struct Field {
        std::string name, first;
        uint32_t funds;
    };
    std::vector<Field> fields;
    uint32_t differ = 0;
    std::string x, y, fund;
    bool fundDiffers = false;
    for (;;) {
        bool gotA = (bool)(fa >> x), gotB = (bool)(fb >> y);
        if (!gotA && !gotB)
            break;
        std::string name = x.substr(0, x.find('='));
        if (!gotA || !gotB || name != y.substr(0, y.find('=')) || (name == "fund" && x != y)) {
            differ++;
            shown->push_back("  the two loads list different funds\n");
            break;
        }
        if (name == "fund") {
            fund = x;
            fundDiffers = false;
        }
        if (x == y)
            continue;
        differ += !fundDiffers;
        fundDiffers = true;
        auto field = std::find_if(fields.begin(), fields.end(),
                                  [&](const Field &f) { return f.name == name; });
        if (field == fields.end()) {
            std::string values = x.substr(name.size() + 1) + " searched, " +
                                 y.substr(name.size() + 1) + " cached";
            field = fields.insert(field, {name, fund + ": " + values, 0});
        }
        field->funds++;
    }
    for (const Field &f : fields)
        shown->push_back("  " + f.name + " (" + std::to_string(f.funds) + " funds; " + f.first +
                         ")\n");
    return differ;
}

// Prints "odd: " and the text when cond holds; returns cond.
int Odd(int cond, const char *format, ...)
{
    if (cond) {
        va_list args;
        va_start(args, format);
        fputs("odd: ", stdout);
        vprintf(format, args);
        va_end(args);
    }
    return cond;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (ParseOptions(argc, argv, &o) != 0) {
        fprintf(stderr,
                "usage: vantry-bench-load [--runs N] [--keep] [--recalculate] [--tmp DIR] DATADIR\n"
                "  Copies DATADIR (without its opt file) to a working directory and times\n"
                "  N full loads without the opt cache, then N loads with the cache the\n"
                "  first loads wrote, and with --recalculate N Recalculate jobs for all\n"
                "  funds. N is 1 to %u (3). --keep leaves the working copy.\n",
                MAX_RUNS);
        return 2;
    }
    if (!PlatIsDirectory(o.dataDir)) {
        fprintf(stderr, "vantry-bench-load: %s is not a directory\n", o.dataDir);
        return 2;
    }
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
    fprintf(stderr, "vantry-bench-load: note: this build is %s; timings are not "
                    "representative (build with -DCMAKE_BUILD_TYPE=Release)\n",
#if defined(__SANITIZE_ADDRESS__)
            "sanitized"
#else
            "not optimized"
#endif
    );
#endif

    const char *tmp = o.tmpDir ? o.tmpDir : getenv("TMPDIR");
    std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantry-bench-XXXXXX";
    if (!mkdtemp(&root[0])) {
        fprintf(stderr, "vantry-bench-load: cannot create %s: %s\n", root.c_str(),
                strerror(errno));
        return 2;
    }
    std::string data = root + "/data";
    mkdir(data.c_str(), 0700);
    uint32_t navFiles = 0;
    uint64_t bytes = 0;
    int hadOpt = 0;
    if (!CopyDataDir(o.dataDir, data, &navFiles, &bytes, &hadOpt)) {
        RemoveTree(root);
        return 2;
    }
    printf("data: %s, %u fund files, %.1f MiB%s; working copy %s\n", o.dataDir,
           (unsigned)navFiles, bytes / 1048576.0,
           hadOpt ? " (its opt file not copied)" : "", data.c_str());
    struct rusage self;
    getrusage(RUSAGE_SELF, &self);
    printf("baseline: peak RSS of this process before any load %.1f MiB\n",
           self.ru_maxrss / 1024.0);

    // The phases in turn, each after the one before succeeded.
    static const struct {
        Phase phase;
        const char *fingerprint;
        const char *title;
    } phases[] = {
        {PHASE_FIRST, "first.txt", "first load (no opt cache: every fund searched)"},
        {PHASE_SECOND, "second.txt", "second load (opt cache of the first load: no search)"},
        {PHASE_RECALCULATE, "recalculated.txt",
         "Recalculate, all funds (after a load with the cache; the job alone timed)"},
    };
    PhaseResult results[3] = {};
    long rss[3] = {};
    std::string prints[3];
    int ok = 1;
    for (int k = 0; k < (o.recalculate ? 3 : 2) && ok; k++) {
        prints[k] = root + "/" + phases[k].fingerprint;
        ok = RunPhaseInChild(data, prints[k], o.runs, phases[k].phase, &results[k], &rss[k]);
        if (ok)
            PrintPhase(phases[k].title, &results[k], rss[k]);
    }
    if (!ok) {
        if (!o.keep)
            RemoveTree(root);
        return 1;
    }
    const PhaseResult &first = results[0], &second = results[1], &recalculated = results[2];

    // Anything here is a fault of the generated data, the engine or the cache.
    int odd = Odd(first.fundCount != navFiles || second.fundCount != navFiles,
                  "%u fund files but %u / %u funds loaded\n", (unsigned)navFiles,
                  (unsigned)first.fundCount, (unsigned)second.fundCount);
    odd |= Odd(first.reports || second.reports || recalculated.reports,
               "the loads raised %u / %u / %u reports (first shown on standard error)\n",
               (unsigned)first.reports, (unsigned)second.reports, (unsigned)recalculated.reports);
    odd |= Odd(first.optMissing != 0, "%u first load(s) wrote no opt file\n",
               (unsigned)first.optMissing);
    odd |= Odd(second.optRewritten || second.optMissing,
               "%u second load(s) searched again (rewrote the opt file), %u lost it\n",
               (unsigned)second.optRewritten, (unsigned)second.optMissing);
    odd |= Odd(first.dynamicAfterFree || second.dynamicAfterFree,
               "DynamicMemoryUsed is %u / %u bytes after freeing the data set\n",
               (unsigned)first.dynamicAfterFree, (unsigned)second.dynamicAfterFree);
    std::vector<std::string> shown;
    uint32_t differ = CompareFingerprints(prints[0], prints[1], &shown);
    // A recalculation searches every fund's own series again: the same results as the
    // first load's search.
    odd |= Odd(o.recalculate && CompareFingerprints(prints[0], prints[2], &shown) != 0,
               "the Recalculate job's results differ from the first load's\n");
    if (Odd(differ != 0, "%u fund(s) analysed differently from the cache than after the search; "
                         "the fields that differ:\n",
            (unsigned)differ)) {
        for (const std::string &line : shown)
            fputs(line.c_str(), stdout);
        odd = 1;
    }

    double m1 = Median(&first), m2 = Median(&second);
    printf("summary: %u funds, %u dates; first load %.3f s (%.1f funds/s), second load "
           "%.3f s (%.1f funds/s), %.1fx; peak RSS %.1f / %.1f MiB; DynamicMemoryUsed %.1f MiB; "
           "%u reports%s\n",
           (unsigned)first.fundCount, (unsigned)first.dateCount, m1,
           m1 > 0 ? first.fundCount / m1 : 0.0, m2, m2 > 0 ? second.fundCount / m2 : 0.0,
           m2 > 0 ? m1 / m2 : 0.0, rss[0] / 1024.0, rss[1] / 1024.0,
           first.dynamicMemory / 1048576.0, (unsigned)(first.reports + second.reports),
           odd ? "; ODD (see above)" : "");
    if (o.keep)
        printf("kept: %s\n", root.c_str());
    else
        RemoveTree(root);
    return odd ? 1 : 0;
}
