// What the Default Benchmark dialog opens on and what its OK button sets.
#include "app/benchmarkchoice.h"

#include <string.h>

#include "base/errors.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"

const FundRecord *DefaultBenchmarkEntry(int *found)
{
    *found = 1;
    if (!DefaultBenchmark[0])
        return nullptr;
    const FundRecord *f = FindFund(DefaultBenchmark);
    if (!f || FundCategory(f) != CATEGORY_INDEX) {
        ReportWarning("Can't find default index.");
        *found = 0;
        return nullptr;
    }
    return f;
}

int ChooseDefaultBenchmark(const char *entry)
{
    const FundRecord *chosen = nullptr;
    for (uint32_t i = 0; i < FundCount && !chosen; i++)
        if (FundTable[i].name && CompareNoCase(FundTable[i].name, entry) == 0)
            chosen = &FundTable[i];
    if (chosen && chosen->shortName) {
        size_t n = strlen(chosen->shortName);
        if (n >= DEFAULT_BENCHMARK_SIZE)
            n = DEFAULT_BENCHMARK_SIZE - 1;
        memcpy(DefaultBenchmark, chosen->shortName, n);
        DefaultBenchmark[n] = 0;
    } else if (CompareNoCase(entry, BENCHMARK_NONE_ENTRY) == 0) {
        DefaultBenchmark[0] = 0;
    } else {
        ReportWarning("Can't find selected index.");
        return 0;
    }
    WriteSettingsFile();
    return 1;
}
