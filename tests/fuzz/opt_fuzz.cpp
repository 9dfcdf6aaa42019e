// The opt file: read in both modes, written back, and read and written once more. What the
// writer produces from a file must read back to the same records, so the second writing
// must give the same bytes as the first.
#include "fuzz_support.h"

#include "data/alloc.h"
#include "data/load.h"
#include "data/optfile.h"

// Reads DataDir's opt into a fresh table and writes it back; returns the bytes written.
static std::string ReadAndWrite(void)
{
    char path[DATA_PATH_SIZE];
    DataPath("opt", path);
    FreeOptTable();
    ReadOptFile(path, OPT_COUNT_RECORDS);
    uint32_t count = OptCount;
    ReadOptFile(path, OPT_STORE_RECORDS);
    FUZZ_CHECK(OptCount == count);
    OptimizedFlag = 1;
    WriteOptFile();
    FUZZ_CHECK(!OptimizedFlag);
    return FuzzReadDataFile("opt");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzBegin();
    uint32_t memoryBefore = DynamicMemoryUsed;
    FuzzWriteFile("opt", data, size);
    std::string first = ReadAndWrite();
    FUZZ_CHECK(ReadAndWrite() == first);
    FreeOptTable();
    FUZZ_CHECK(DynamicMemoryUsed == memoryBefore);
    return 0;
}
