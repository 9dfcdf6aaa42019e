// A fund file through the file steps: the first pass, the date table, the arrays sized by
// it and the second pass. The file does not change between the passes, so they must agree:
// the same counts, no "phase error", and every stored date collected by the first pass.
#include "fuzz_support.h"

#include "data/alloc.h"
#include "data/datetable.h"
#include "data/load.h"
#include "data/navfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBegin();
    FuzzWriteFile("F.NAV", data, size);
    char path[DATA_PATH_SIZE];
    DataPath("F.NAV", path);

    uint32_t memoryBefore = DynamicMemoryUsed;
    FundRecord f = {};
    BeginDateTable();
    FUZZ_CHECK(ReadNavFile(path, &f, NAV_FIRST_PASS) == 1);
    uint32_t points = f.pointCount, dists = f.distCount, splits = f.splitCount;
    FinishDateTable();
    f.points[0] = (NavPoint *)AllocZero(f.pointCount, sizeof(NavPoint));
    f.dists = (DistRecord *)AllocZero(f.distCount, sizeof(DistRecord));
    f.splits = (SplitRecord *)AllocZero(f.splitCount, sizeof(SplitRecord));
    FuzzWatchedText = "phase error";
    FUZZ_CHECK(ReadNavFile(path, &f, NAV_SECOND_PASS) == 1);
    FUZZ_CHECK(FuzzWatchedCount == 0);
    FUZZ_CHECK(f.pointCount == points && f.distCount == dists && f.splitCount == splits);
    for (uint32_t i = 0; i < f.pointCount; i++)
        FUZZ_CHECK(FindDate(f.points[0][i].dateWord & 0xFFFF) != DATE_NOT_FOUND);
    for (uint32_t i = 0; i < f.splitCount; i++)
        FUZZ_CHECK(FindDate(f.splits[i] & 0xFFFF) != DATE_NOT_FOUND);
    FreeFundArrays(&f);
    FreeDateTable();
    FUZZ_CHECK(DynamicMemoryUsed == memoryBefore);
    return 0;
}
