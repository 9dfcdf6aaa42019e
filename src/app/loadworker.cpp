// The load worker, step by step: files, side files, analysis, relative series, ranking.
#include "app/loadworker.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/analyst.h"
#include "analysis/indicators.h"
#include "analysis/movavg.h"
#include "analysis/normalize.h"
#include "analysis/optimize.h"
#include "analysis/ranking.h"
#include "analysis/relative.h"
#include "analysis/stats.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/navfile.h"
#include "data/optfile.h"
#include "data/ratefile.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"
#include "data/validatefile.h"
#include "platform/platform.h"
#include "update/backup.h"


static void SendText(const char *text)
{
    SendProgress(PROGRESS_STATUS_TEXT, text);
}

void AnalyseFund(FundRecord *f)
{
    char text[REPORT_BUFFER_SIZE];
    uint32_t category = FundCategory(f);
    FormatText(text, sizeof text, "Normalize and Optimize data 1: %s%s%s%s",
               category ? "[" : "", category ? CategoryTable[category].name : "",
               category ? "] " : "", f->name ? f->name : "");
    SendText(text);
    AnalyseFundData(f);
}

void AnalyseFundData(FundRecord *f)
{
    SortPoints(f);
    SortDists(f);
    SortSplits(f);
    FillMissingValues(f);
    SetRecentStart(f);
    NormalizeFund(f);
    if (f->distCount > 0) {
        f->distTotal = 0;
        for (uint32_t k = 0; k < f->distCount; k++)
            f->distTotal += f->dists[k].total;
    }
    OptimizeFund(f, 0);
    Rsi(f, 0);
}

// The smallest whole number not below x, for x above 0; else 0.
static uint32_t WholeCeiling(double x)
{
    if (!(x > 0))
        return 0;
    double c = ceil(x);
    return c >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)c;
}

void FinishChartScales(void)
{
    FinishAnalystFigures();
    ChartScaleExtremesRecord &e = ChartScaleExtremes;
    // A fund whose series 1 is its series 0 shows its own figures in the benchmark view.
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        // Index funds and funds without an index fund: series 1 is a copy of series 0,
        // whose statistics never passed the statistics step as series 1.
        if (f->points[1] != f->points[0])
            continue;
        for (int k = 0; k < CHART_STATISTIC_COUNT; k++)
            TrackChartExtreme(1, (ChartStatistic)k, ChartStatisticValue(&f->stats[0], (ChartStatistic)k));
        if (f->taxEfficiency > e.taxEfficiencyMaximum)
            e.taxEfficiencyMaximum = f->taxEfficiency;
    }
    for (int s = 0; s < 2; s++)
        for (int k = 0; k < CHART_STATISTIC_COUNT; k++) {
            uint32_t negative = k == STAT_VOLATILITY ? 0 : WholeCeiling(-e.minimum[s][k]);
            e.negativeExtent[s][k] = negative;
            e.totalExtent[s][k] = WholeCeiling(e.maximum[s][k]) + negative;
        }
    e.taxEfficiencyExtent = WholeCeiling(e.taxEfficiencyMaximum);
}

// ---------------------------------------------------------------------------------------
// The funds are analysed on several threads. Each worker diverts the messages and
// progress codes of a fund into that fund's own event list; the load thread replays the
// lists in table order as the funds are done, so what the user sees, and every figure,
// is what one thread working in table order would produce.

uint32_t LoadAnalysisThreads;

namespace {

// A cache line each: two threads append to the lists of neighbouring funds at once.
struct alignas(64) FundEvents {
    std::string bytes;  // records: code, icon, caption, text (zero-terminated); dates
    bool done;
};

struct AnalysisRun {
    const AnalysisItem *items;
    uint32_t count;
    std::vector<uint32_t> queue;     // item numbers: the first phase's, then the second's
    uint32_t firstPhase;             // how many of the queue belong to the first phase
    std::atomic<uint32_t> firstPhaseLeft;
    std::vector<FundEvents> events;  // per item
    std::atomic<uint32_t> next;
    std::mutex lock;
    std::condition_variable doneSignal;
    std::vector<ChartScaleExtremesRecord> extremes;
    std::vector<double *> quarters;  // each worker's QuarterTable, allocated by the load
};

// The events of the item the calling analysis thread works on; null on other threads.
thread_local FundEvents *ThreadEvents;

// A date of the first pass, for the DateTable: the code, then the date and line.
const char DATE_EVENT = (char)0xFE;

void RecordDate(void *context, PackedDate date, unsigned line)
{
    char record[1 + sizeof date + sizeof line];
    record[0] = DATE_EVENT;
    memcpy(record + 1, &date, sizeof date);
    memcpy(record + 1 + sizeof date, &line, sizeof line);
    ((FundEvents *)context)->bytes.append(record, sizeof record);
}

void RecordEvent(void *context, uint32_t code, const char *caption, const char *text, int icon)
{
    FundEvents *e = (FundEvents *)context;
    e->bytes.push_back((char)code);
    e->bytes.push_back((char)icon);
    e->bytes.append(caption ? caption : "");
    e->bytes.push_back(0);
    e->bytes.append(text ? text : "");
    e->bytes.push_back(0);
}

void ReplayEvents(const FundEvents &e, uint32_t fund)
{
    size_t at = 0;
    while (at < e.bytes.size()) {
        if (e.bytes[at] == DATE_EVENT) {
            PackedDate date;
            unsigned line;
            memcpy(&date, e.bytes.data() + at + 1, sizeof date);
            memcpy(&line, e.bytes.data() + at + 1 + sizeof date, sizeof line);
            AddListedDate(fund, date, line);
            at += 1 + sizeof date + sizeof line;
            continue;
        }
        uint32_t code = (unsigned char)e.bytes[at];
        int icon = (signed char)e.bytes[at + 1];
        const char *caption = e.bytes.c_str() + at + 2;
        const char *text = caption + strlen(caption) + 1;
        at = (size_t)(text + strlen(text) + 1 - e.bytes.c_str());
        if (code == 0)
            ShowReport(caption, text, icon);
        else
            SendProgress(code, code == PROGRESS_STATUS_TEXT ? text : nullptr);
    }
}

// How often a waiting thread looks whether a stop was requested; a stop notifies no one.
const std::chrono::milliseconds StopPollInterval(20);

void AnalysisWorker(AnalysisRun *run, uint32_t worker)
{
    SetThreadChartExtremes(&run->extremes[worker]);
    SetThreadQuarterTable(run->quarters[worker]);
    for (;;) {
        if (PlatStopRequested())
            break;
        uint32_t q = run->next.fetch_add(1);
        if (q >= run->count)
            break;
        if (q >= run->firstPhase) {
            // Every item of the first phase is taken by now; wait until they are done,
            // or until a stop leaves some of them untaken.
            std::unique_lock<std::mutex> wait(run->lock);
            while (run->firstPhaseLeft.load() != 0 && !PlatStopRequested())
                run->doneSignal.wait_for(wait, StopPollInterval);
            if (run->firstPhaseLeft.load() != 0)
                break;
        }
        uint32_t i = run->queue[q];
        SetThreadReportDivert(RecordEvent, &run->events[i]);
        ThreadEvents = &run->events[i];
        run->items[i].work(&FundTable[run->items[i].fund]);
        ThreadEvents = nullptr;
        SetThreadReportDivert(nullptr, nullptr);
        std::lock_guard<std::mutex> hold(run->lock);
        run->events[i].done = true;
        if (q < run->firstPhase)
            run->firstPhaseLeft.fetch_sub(1);
        run->doneSignal.notify_all();
    }
    SetThreadQuarterTable(nullptr);
    SetThreadChartExtremes(nullptr);
}

// Two files can share a short name and with it one opt record, whose saved-values flags
// the analysis reads and clears: such a data set is analysed on one thread.
int ShortNamesDistinct(void)
{
    std::vector<const char *> names;
    for (uint32_t i = 0; i < FundCount; i++)
        if (FundTable[i].shortName)
            names.push_back(FundTable[i].shortName);
    std::sort(names.begin(), names.end(),
              [](const char *a, const char *b) { return CompareNoCase(a, b) < 0; });
    for (size_t i = 1; i < names.size(); i++)
        if (CompareNoCase(names[i - 1], names[i]) == 0)
            return 0;
    return 1;
}

uint32_t AnalysisThreadCount(uint32_t items)
{
    uint32_t n = LoadAnalysisThreads ? LoadAnalysisThreads : std::thread::hardware_concurrency();
    if (n == 0)
        n = 1;
    if (n > 64)
        n = 64;
    if (n > items)
        n = items;
    return n;
}

}  // namespace

void AnalyseFundList(const AnalysisItem *items, uint32_t count, int barSteps)
{
    uint32_t threads = AnalysisThreadCount(count);
    // Each worker needs a QuarterTable of its own, allocated here on the calling thread;
    // without them (out of memory) the funds are analysed on this thread alone.
    std::vector<double *> quarters;
    int ready = threads > 1 && ShortNamesDistinct();
    for (uint32_t t = 0; ready && t < threads && QuarterCount > 0; t++) {
        quarters.push_back((double *)AllocZero(QuarterCount, sizeof(double)));
        ready = quarters.back() != nullptr;
    }
    if (QuarterCount == 0)
        quarters.assign(threads, nullptr);
    if (!ready) {
        for (double *table : quarters)
            FreeBlock(table);
        for (uint32_t i = 0; i < count; i++) {
            PlatStopPoint();
            items[i].work(&FundTable[items[i].fund]);
            if (barSteps)
                SendProgress(PROGRESS_BAR_STEP, nullptr);
        }
        return;
    }
    AnalysisRun run;
    run.items = items;
    run.count = count;
    for (uint32_t phase = 0; phase < 2; phase++)
        for (uint32_t i = 0; i < count; i++)
            if (items[i].phase == phase)
                run.queue.push_back(i);
    run.firstPhase = 0;
    for (uint32_t i = 0; i < count; i++)
        run.firstPhase += items[i].phase == 0;
    run.firstPhaseLeft = run.firstPhase;
    run.events.assign(count, FundEvents{std::string(), false});
    run.next = 0;
    run.extremes.assign(threads, ChartScaleExtremesRecord());
    run.quarters = quarters;
    std::vector<std::thread> pool;
    for (uint32_t t = 0; t < threads; t++)
        pool.emplace_back(AnalysisWorker, &run, t);
    for (uint32_t i = 0; i < count; i++) {
        {
            std::unique_lock<std::mutex> wait(run.lock);
            while (!run.events[i].done && !PlatStopRequested())
                run.doneSignal.wait_for(wait, StopPollInterval);
            if (!run.events[i].done)
                break;
        }
        ReplayEvents(run.events[i], items[i].fund);
        std::string().swap(run.events[i].bytes);
        if (barSteps)
            SendProgress(PROGRESS_BAR_STEP, nullptr);
    }
    for (std::thread &t : pool)
        t.join();
    // Stopped: the analysis threads have ended, and the job ends here before it uses a
    // list that is not complete.
    PlatStopPoint();
    for (double *table : run.quarters)
        FreeBlock(table);
    for (const ChartScaleExtremesRecord &part : run.extremes)
        MergeChartScaleExtremes(&part);
}

// Runs work for every fund in table order, or spread over the analysis threads, and
// sends code 2 after each fund.
static void AnalyseAllFunds(void (*work)(FundRecord *))
{
    std::vector<AnalysisItem> items(FundCount);
    for (uint32_t i = 0; i < FundCount; i++)
        items[i] = AnalysisItem{i, work, 0};
    AnalyseFundList(items.data(), FundCount, 1);
}

void RelateFund(FundRecord *f)
{
    BuildRelativeSeries(f);
    // A shared series 1 has its RSI from series 0 already; writing it again would touch
    // the points another thread reads as an index fund.
    if (f->indexName && f->points[1] != f->points[0])
        Rsi(f, 1);
}

// A fund's arrays, then its file's second pass into them.
static void ReadFundArrays(FundRecord *f)
{
    AllocateArraysOf(f);
    ReadSecondPassFile(f);
}

// A file of the first pass, on an analysis thread: its dates wait in its events, to be
// added to the DateTable in the listing's order.
static void ReadListedFileOnThread(FundRecord *slot)
{
    FundEvents *events = ThreadEvents;
    ReadListedFile((uint32_t)(slot - FundTable), events ? RecordDate : nullptr, events);
}

// The first read pass tokenizes every file, on the analysis threads; its status texts,
// messages, bar steps and the DateTable are what one thread reading the files in turn
// would give.
static void ReadFirstPassOnThreads(void)
{
    uint32_t count;
    if (!ListFirstPassFiles(&count)) {
        ReadFundFiles(NAV_FIRST_PASS);
        return;
    }
    std::vector<AnalysisItem> items(count);
    for (uint32_t i = 0; i < count; i++)
        items[i] = AnalysisItem{i, ReadListedFileOnThread, 0};
    if (count > 0)
        AnalyseFundList(items.data(), count, 0);
    EndListedFirstPass();
}

// The second read pass fills each fund's own arrays, so the arrays are allocated (the
// zero-filling and the first touch of their pages are much of a load with the opt cache)
// and the files read on the analysis threads; the status texts, bar steps and messages
// come out in table order.
static void ReadSecondPassOnThreads(void)
{
    std::vector<AnalysisItem> items(FundCount);
    for (uint32_t i = 0; i < FundCount; i++)
        items[i] = AnalysisItem{i, ReadFundArrays, 0};
    AnalyseFundList(items.data(), FundCount, 0);
    EndSecondPass();
}

uint32_t LoadThread(void *)
{
    char path[DATA_PATH_SIZE];
    FreeDataSet();
    ResetChartScaleExtremes();
    PlatSendProgress(PROGRESS_BUSY_ON, nullptr);

    // A full update cut off by the program's end left the data set under pending names.
    RecoverPendingBackups();
    FreeOptTable();
    DataPath("opt", path);
    ReadOptFile(path, OPT_COUNT_RECORDS);

    BeginDateTable();
    AllocateFundTable(CountNavFiles());
    PlatSendProgress(PROGRESS_BAR_CREATE, nullptr);
    SendText("First read pass");
    ReadFirstPassOnThreads();
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    SendText("");
    FinishDateTable();
    AllocateQuarterTable();

    ReadOptFile(path, OPT_STORE_RECORDS);
    SendText("Second read pass");
    ReadSecondPassOnThreads();
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    RemoveUnnamedFunds();
    ConvertDatesToIndexes();

    ReadPortfolioFile();
    ReadSettingsFile();
    ReadIndexFile();
    SortFunds();
    BuildTriangularWeights();
    ReadRateFiles();

    SendText("Normalize and Optimize data");
    AnalyseAllFunds(AnalyseFund);

    // Every fund gets its series 1: the relative one, or series 0 shared. The index
    // funds' series 0 are complete by now, which is all a relative series reads.
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    AnalyseAllFunds(RelateFund);
    PlatSendProgress(PROGRESS_BAR_REMOVE, nullptr);

    // The figures of the last Validate job, for the funds whose data and choice are
    // unchanged; before the chart scales, which take them in.
    ReadValidateFile();
    FinishChartScales();
    SortFunds();
    WriteOptFile();
    BuildStatusLine();

    PlatPostProgress(PROGRESS_DATA_READY);
    PlatSendProgress(PROGRESS_BUSY_OFF, nullptr);
    return 0;
}
