// The choices of the Default Benchmark dialog: which entry it opens on and what OK
// makes of the entry chosen. The dialog itself is the Windows program's (dlg_benchmark.cpp).
#ifndef VANTRY_BENCHMARKCHOICE_H
#define VANTRY_BENCHMARKCHOICE_H

#include "data/fund.h"

// The entry the list first shows for none.
#define BENCHMARK_NONE_ENTRY "(None)"

// The index fund DefaultBenchmark names, found by shortName without regard to case.
// Null when DefaultBenchmark is empty (the dialog selects "(None)"); null with "Can't
// find default index." (a warning) when no fund of category 7 has that name. found is set
// to 1 when the dialog should select the fund returned or "(None)", 0 for nothing.
const FundRecord *DefaultBenchmarkEntry(int *found);
// OK with the entry text: the fund of that name (without regard to case) becomes the
// default benchmark, "(None)" clears it, and the settings file is written; any other
// text warns "Can't find selected index." and changes nothing. Returns 1 when the
// default benchmark was set (changed or not).
int ChooseDefaultBenchmark(const char *entry);

#endif
