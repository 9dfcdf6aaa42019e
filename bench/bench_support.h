// What the benchmarks share: a report sink that counts the reports (and shows the first
// five), a monotonic clock in seconds and the command line of those that take one data
// directory.
#ifndef VANTRY_BENCH_SUPPORT_H
#define VANTRY_BENCH_SUPPORT_H

#include <stdio.h>
#include <string.h>

#include <chrono>

#include "data/datadir.h"
#include "platform/platform.h"

// The reports that reached CountReport; a benchmark of a clean data set expects none.
static unsigned Reports;

static inline void CountReport(const char *caption, const char *text, int)
{
    if (Reports++ < 5)
        fprintf(stderr, "report: %s: %s\n", caption, text);
}

static inline double Now(void)
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The data directory of "PROGRAM [FLAG] DATADIR" (usage shows that line; flag may be
// nullptr), made DataDir with CountReport as the message sink; *flagged tells whether
// FLAG was given. nullptr, after a complaint on standard error, when the arguments do not
// read so or DATADIR is no directory.
static inline const char *BenchDataDir(int argc, char **argv, const char *flag,
                                       const char *usage, int *flagged)
{
    *flagged = flag && argc == 3 && strcmp(argv[1], flag) == 0;
    if (argc != 2 + *flagged) {
        fprintf(stderr, "usage: %s\n", usage);
        return nullptr;
    }
    const char *dir = argv[1 + *flagged];
    if (!SetDataDir(dir) || !PlatIsDirectory(dir)) {
        fprintf(stderr, "%.*s: %s is not a directory\n", (int)strcspn(usage, " "), usage, dir);
        return nullptr;
    }
    PlatSetMessageSink(CountReport);
    return dir;
}

#endif
