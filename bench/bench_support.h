// What the load benchmarks share: a report sink that counts the reports (and shows the
// first three) and a monotonic clock in seconds.
#ifndef VANTRY_BENCH_SUPPORT_H
#define VANTRY_BENCH_SUPPORT_H

#include <stdio.h>
#include <time.h>

// The reports that reached CountReport; a benchmark of a clean data set expects none.
static unsigned Reports;

static inline void CountReport(const char *, const char *text, int)
{
    if (Reports++ < 3)
        fprintf(stderr, "report: %s\n", text);
}

static inline double Now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

#endif
