// The small files of the data directory, chosen by the input's first byte (modulo 4):
// PRTFOLIO, SETTINGS and Index are read against three loaded funds and written back, and
// what the writer produced must read and write back to the same bytes; 3 reads the rate
// files, MONEYMKT being the rest of the input up to its first zero byte and RISKFREE the
// bytes after it.
#include "fuzz_support.h"

#include <string.h>

#include "data/alloc.h"
#include "data/load.h"
#include "data/ratefile.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"

struct SideFile {
    const char *name;
    void (*read)(void);
    void (*write)(void);
};

static const SideFile SideFiles[] = {
    {"PRTFOLIO", ReadPortfolioFile, WritePortfolioFile},
    {"SETTINGS", ReadSettingsFile, WriteSettingsFile},
    {"Index", ReadIndexFile, WriteIndexFile},
};

// The file read against a fresh view state and three loaded funds, written back.
static std::string ReadAndWrite(const SideFile *file)
{
    static const char *const names[] = {"GROWTH", "Bond", "SP500"};
    ResetViewState();
    AllocateFundTable(3);
    for (uint32_t i = 0; i < FundCount; i++)
        FundTable[i].shortName = CopyString(names[i], strlen(names[i]));
    file->read();
    file->write();
    FreeDataSet();
    return FuzzReadDataFile(file->name);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    FuzzBegin();
    uint32_t memoryBefore = DynamicMemoryUsed;
    std::string rest((const char *)data + 1, size - 1);
    if (data[0] % 4 < 3) {
        const SideFile *file = &SideFiles[data[0] % 4];
        FuzzWriteFile(file->name, rest.data(), rest.size());
        std::string first = ReadAndWrite(file);
        FUZZ_CHECK(ReadAndWrite(file) == first);
    } else {
        size_t zero = rest.find('\0');
        std::string money = rest.substr(0, zero);
        std::string riskFree = zero == std::string::npos ? "" : rest.substr(zero + 1);
        FuzzWriteFile("MONEYMKT", money.data(), money.size());
        FuzzWriteFile("RISKFREE", riskFree.data(), riskFree.size());
        ReadRateFiles();
        // RISKFREE is read only when MONEYMKT gave a table.
        FUZZ_CHECK(MoneyMarketRates || !RiskFreeRates);
        FreeDataSet();
    }
    ResetViewState();
    FUZZ_CHECK(DynamicMemoryUsed == memoryBefore);
    return 0;
}
