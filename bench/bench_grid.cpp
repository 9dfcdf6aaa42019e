// vantry-bench-grid: the first load of a data directory with the straightforward grid,
// with the fast grid on one thread and on every core, side by side in one process;
// --fast-only leaves out the straightforward grid.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "analysis/grid.h"
#include "app/loadworker.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/sidefiles.h"
#include "platform/platform.h"

#include "bench_support.h"

// One first load (no opt cache) of dir: seconds, and the grid's point steps.
static double FirstLoad(const char *dir, int reference, uint32_t threads, uint64_t *steps)
{
    std::string opt = std::string(dir) + "/opt";
    unlink(opt.c_str());
    GridReferenceOnly = reference;
    LoadAnalysisThreads = threads;
    DataDirWritable = 0;
    GridPointSteps = 0;
    double start = Now();
    LoadThread(nullptr);
    double seconds = Now() - start;
    *steps = GridPointSteps;
    FreeDataSet();
    FreeOptTable();
    return seconds;
}

// The processor's clock in Hz from /proc/cpuinfo, 0 when unknown.
static double ClockHz(void)
{
    FILE *f = fopen("/proc/cpuinfo", "r");
    if (!f)
        return 0;
    char line[256];
    double mhz = 0;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "cpu MHz : %lf", &mhz) == 1)
            break;
    fclose(f);
    return mhz * 1e6;
}

int main(int argc, char **argv)
{
    int fastOnly;
    const char *dir = BenchDataDir(argc, argv, "--fast-only",
                                   "vantry-bench-grid [--fast-only] DATADIR   (a copy it may "
                                   "write an opt file into)", &fastOnly);
    if (!dir)
        return 2;
    uint32_t cores = std::thread::hardware_concurrency();
    uint64_t steps[3];
    double fastOne = FirstLoad(dir, 0, 1, &steps[1]);
    double fastAll = FirstLoad(dir, 0, cores, &steps[2]);
    if (fastOnly) {
        printf("first load, fast grid, 1 thread:      %8.3f s\n", fastOne);
        printf("first load, fast grid, %u threads:     %8.3f s  (%.2fx from 1 to %u)\n", cores,
               fastAll, fastOne / fastAll, cores);
        printf("reports: %u\n", Reports);
        return Reports ? 1 : 0;
    }
    double reference = FirstLoad(dir, 1, 1, &steps[0]);
    if (steps[0] != steps[1] || steps[1] != steps[2])
        printf("odd: the three loads stepped the grid %llu, %llu and %llu times\n",
               (unsigned long long)steps[0], (unsigned long long)steps[1],
               (unsigned long long)steps[2]);
    double updates = (double)steps[1] * 121;
    printf("first load, reference grid, 1 thread: %8.3f s\n", reference);
    printf("first load, fast grid, 1 thread:      %8.3f s  (%.2fx the reference)\n", fastOne,
           reference / fastOne);
    printf("first load, fast grid, %u threads:     %8.3f s  (%.2fx the reference, %.2fx from 1 "
           "to %u)\n", cores, fastAll, reference / fastAll, fastOne / fastAll, cores);
    printf("grid: %.3g strategy-point updates in the first load\n", updates);
    double hz = ClockHz();
    // The single-core limit as estimated here: one strategy-point update (a compare and
    // a branch on a precomputed level) per clock cycle, what stepping every strategy
    // through every point can reach at best. The reference steps them all; the fast path
    // touches only the strategies that trade, so its rate, counted as the updates it
    // stands for, may pass the limit. Both count the whole load's time.
    printf("throughput (1 thread): reference %.3g updates/s, fast %.3g updates/s",
           updates / reference, updates / fastOne);
    if (hz > 0)
        printf(" against an estimated single-core limit of %.3g/s (%.0f%% and %.0f%%)", hz,
               100 * updates / reference / hz, 100 * updates / fastOne / hz);
    printf("\nreports: %u\n", Reports);
    return Reports ? 1 : 0;
}
