// What the benchmarks share: a report sink that counts the reports (and shows the first
// five) and a monotonic clock in seconds.
#ifndef VANTRY_BENCH_SUPPORT_H
#define VANTRY_BENCH_SUPPORT_H

#include <stdio.h>

#include <chrono>

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

#endif
