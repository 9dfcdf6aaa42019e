// vantry-bench-validate: the Validate job on every fund of a data directory, on one thread
// and on two, its time per fund, and whether both gave the same bits.
#include <stdio.h>
#include <string.h>

#include <vector>

#include "app/jobs.h"
#include "app/loadworker.h"
#include "data/datadir.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/sidefiles.h"
#include "platform/platform.h"

#include "bench_support.h"

// The job over every fund on the given threads: seconds; the figures in table order.
static double Validate(uint32_t threads, std::vector<ValidationStats> *figures)
{
    LoadAnalysisThreads = threads;
    JobRequest job = {JOB_CHANGE_KIND, JOB_ALL_FUNDS, 0, -1};
    double start = Now();
    ValidationJob(&job);
    double seconds = Now() - start;
    figures->clear();
    for (uint32_t i = 0; i < FundCount; i++)
        figures->push_back(FundTable[i].validation);
    return seconds;
}

int main(int argc, char **argv)
{
    int none;
    if (!BenchDataDir(argc, argv, nullptr,
                      "vantry-bench-validate DATADIR   (nothing in it is written)", &none))
        return 2;
    DataDirWritable = 0;
    double start = Now();
    LoadThread(nullptr);
    printf("load: %.2f s, %u funds\n", Now() - start, (unsigned)FundCount);
    std::vector<ValidationStats> one, two;
    double t1 = Validate(1, &one);
    double t2 = Validate(2, &two);
    uint32_t n = FundCount ? FundCount : 1;
    printf("validate, 1 thread:  %.2f s (%.1f ms a fund)\n", t1, t1 * 1000 / n);
    printf("validate, 2 threads: %.2f s (%.1f ms a fund, %.2fx)\n", t2, t2 * 1000 / n, t1 / t2);
    int same = one.size() == two.size() &&
               (one.empty() || memcmp(one.data(), two.data(), one.size() * sizeof one[0]) == 0);
    printf("%s\n", same ? "same bits on 1 and 2 threads"
                        : "odd: the figures differ between 1 and 2 threads");
    FreeDataSet();
    FreeOptTable();
    return same && Reports == 0 ? 0 : 1;
}
