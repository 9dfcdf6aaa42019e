// The file steps of the load: listing, both read passes, the arrays, the date indexes.
#include "data/load.h"

#include <string.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/navfile.h"
#include "data/ratefile.h"
#include "data/validatefile.h"
#include "platform/platform.h"

double *QuarterTable;
uint32_t QuarterCount;

int NoNavFiles;

uint32_t NavFileCount(void)
{
    uint32_t count = 0;
    PlatNavListing *listing = PlatNavListFirst(DataDir);
    if (listing) {
        do
            count++;
        while (PlatNavListNext(listing));
        PlatNavListClose(listing);
    }
    return count;
}

uint32_t CountNavFiles(void)
{
    uint32_t count = NavFileCount();
    NoNavFiles = count == 0;
    return count;
}

void AllocateFundTable(uint32_t count)
{
    FundTable = (FundRecord *)AllocZero(count, sizeof(FundRecord));
    FundCount = FundTable ? count : 0;
}

// Through SendProgress, so that a fund read on another thread has its codes replayed in
// table order.
static void SendStatus(const char *format, const char *name)
{
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, format, name);
    SendProgress(PROGRESS_STATUS_TEXT, text);
}

// A file the overflow check may count: one that can be opened now.
static int IsReadable(const char *path)
{
    PlatFile f = PlatOpenRead(path);
    if (f == PLAT_NO_FILE)
        return 0;
    PlatClose(f);
    return 1;
}

// The file name behind each record of the first pass. The second pass reads exactly these
// files into the same records, so a file added or removed between the passes cannot shift
// the records onto other files' data.
static char **PassFileNames;

static void FreePassFileNames(void)
{
    if (!PassFileNames)
        return;
    size_t count = BlockSize(PassFileNames) / sizeof(char *);
    for (size_t i = 0; i < count; i++)
        FreeBlock(PassFileNames[i]);
    FreeBlock(PassFileNames);
    PassFileNames = nullptr;
}

// The first pass of one file into *slot: its status text, its reading and, when the
// file could be opened, its bar step. sink as for ReadNavFileDates.
static int ReadFirstPassFile(const char *name, const char *path, FundRecord *slot,
                             NavDateSink sink, void *context)
{
    SendStatus("First read pass: %s", name);
    if (!ReadNavFileDates(path, slot, sink, context))
        return 0;
    SendProgress(PROGRESS_BAR_STEP, nullptr);
    return 1;
}

static void ReadFirstPass(void)
{
    uint32_t records = FundCount;
    uint32_t filled = 0;
    FreePassFileNames();
    PassFileNames = (char **)AllocZero(records, sizeof(char *));
    PlatNavListing *listing = PlatNavListFirst(DataDir);
    if (listing) {
        do {
            const char *name = PlatNavListName(listing);
            char path[DATA_PATH_SIZE];
            if (!DataPath(name, path))
                continue;
            if (!PassFileNames && records > 0)
                break;  // "Out of memory." was shown; no file can be read
            if (filled == records) {
                // Files added since the count get no record.
                if (IsReadable(path)) {
                    ReportInfo("Fund overflow!");
                    break;
                }
                continue;
            }
            PlatStopPoint();
            if (ReadFirstPassFile(name, path, &FundTable[filled], nullptr, nullptr)) {
                PassFileNames[filled] = CopyString(name, strlen(name));
                filled++;
            }
        } while (PlatNavListNext(listing));
        PlatNavListClose(listing);
    }
    FundCount = filled;
}

// The listing of a first pass read on several threads, and which of its files could be
// opened.
static std::vector<std::string> ListedNames;
static std::vector<uint8_t> ListedRead;
// The path of the file whose dates are being added, for the overflow message.
static char ListedPath[DATA_PATH_SIZE];
static uint32_t ListedPathOf;

int ListFirstPassFiles(uint32_t *count)
{
    *count = 0;
    ListedNames.clear();
    ListedPathOf = 0xFFFFFFFFu;
    PlatNavListing *listing = PlatNavListFirst(DataDir);
    if (listing) {
        do
            ListedNames.push_back(PlatNavListName(listing));
        while (PlatNavListNext(listing));
        PlatNavListClose(listing);
    }
    // More files than records (some added since the count) or a name too long for a path:
    // the files are read one by one, which gives those cases their messages.
    int fits = ListedNames.size() <= FundCount;
    for (size_t i = 0; fits && i < ListedNames.size(); i++) {
        char path[DATA_PATH_SIZE];
        fits = DataPath(ListedNames[i].c_str(), path);
    }
    if (!fits) {
        ListedNames.clear();
        return 0;
    }
    FreePassFileNames();
    PassFileNames = (char **)AllocZero(FundCount, sizeof(char *));
    if (!PassFileNames)
        ListedNames.clear();  // "Out of memory." was shown; no file can be read
    ListedRead.assign(ListedNames.size(), 0);
    *count = (uint32_t)ListedNames.size();
    return 1;
}

void ReadListedFile(uint32_t i, NavDateSink sink, void *context)
{
    char path[DATA_PATH_SIZE];
    DataPath(ListedNames[i].c_str(), path);
    ListedRead[i] = (uint8_t)ReadFirstPassFile(ListedNames[i].c_str(), path, &FundTable[i],
                                                sink, context);
}

void AddListedDate(uint32_t i, PackedDate date, unsigned line)
{
    if (ListedPathOf != i) {
        DataPath(ListedNames[i].c_str(), ListedPath);
        ListedPathOf = i;
    }
    AddDate(date, ListedPath, line);
}

void EndListedFirstPass(void)
{
    // A file that could not be opened left its record untouched (zero), and the next
    // file's record takes its place, as when the files are read one by one.
    uint32_t filled = 0;
    for (uint32_t i = 0; i < (uint32_t)ListedNames.size(); i++) {
        if (!ListedRead[i])
            continue;
        if (filled != i) {
            FundTable[filled] = FundTable[i];
            memset(&FundTable[i], 0, sizeof FundTable[i]);
        }
        PassFileNames[filled] = CopyString(ListedNames[i].c_str(), ListedNames[i].size());
        filled++;
    }
    FundCount = filled;
    std::vector<std::string>().swap(ListedNames);
    std::vector<uint8_t>().swap(ListedRead);
}

void ReadSecondPassFile(FundRecord *fund)
{
    uint32_t i = (uint32_t)(fund - FundTable);
    const char *name = PassFileNames && i < FundCount ? PassFileNames[i] : nullptr;
    char path[DATA_PATH_SIZE];
    if (!name || !DataPath(name, path))
        return;
    SendStatus("Second read pass: %s", name);
    // A file gone since the first pass leaves its record without a name, and the record
    // is dropped with the other unnamed ones.
    if (ReadNavFile(path, fund, NAV_SECOND_PASS))
        SendProgress(PROGRESS_BAR_STEP, nullptr);
}

void EndSecondPass(void)
{
    FreePassFileNames();
}

void ReadFundFiles(int pass)
{
    if (pass == NAV_FIRST_PASS) {
        ReadFirstPass();
        return;
    }
    for (uint32_t i = 0; i < FundCount; i++)
        ReadSecondPassFile(&FundTable[i]);
    EndSecondPass();
}

void AllocateQuarterTable(void)
{
    FreeBlock(QuarterTable);
    QuarterTable = nullptr;
    QuarterCount = 0;
    if (DateCount > 0) {
        int32_t span = DatePeriodOf(DateCount - 1) - DatePeriodOf(0) + 1;
        uint32_t count = (uint32_t)(span / 15) + 2;
        QuarterTable = (double *)AllocZero(count, sizeof(double));
        QuarterCount = QuarterTable ? count : 0;
    }
}

void AllocateArraysOf(FundRecord *f)
{
    if (f->pointCount > 0) {
        // Each array only when the one before it was had; the first failure ends it.
        f->points[0] = (NavPoint *)AllocZero(f->pointCount, sizeof(NavPoint));
        if (f->points[0])
            f->bandPoints[0] = (BandPoint *)AllocZero(f->pointCount, sizeof(BandPoint));
        if (f->bandPoints[0])
            f->macdPoints[0] = (MacdPoint *)AllocZero(f->pointCount, sizeof(MacdPoint));
        if (f->macdPoints[0])
            f->rocPoints[0] = (RocPoint *)AllocZero(f->pointCount, sizeof(RocPoint));
    }
    if (f->distCount > 0)
        f->dists = (DistRecord *)AllocZero(f->distCount, sizeof(DistRecord));
    if (f->splitCount > 0)
        f->splits = (SplitRecord *)AllocZero(f->splitCount, sizeof(SplitRecord));
}

void AllocateFundArrays(void)
{
    AllocateQuarterTable();
    for (uint32_t i = 0; i < FundCount; i++)
        AllocateArraysOf(&FundTable[i]);
}

void RemoveUnnamedFunds(void)
{
    uint32_t i = 0;
    while (i < FundCount) {
        if (FundTable[i].name) {
            i++;
            continue;
        }
        FreeFundArrays(&FundTable[i]);
        memmove(&FundTable[i], &FundTable[i + 1], (FundCount - i - 1) * sizeof(FundRecord));
        FundCount--;
        memset(&FundTable[FundCount], 0, sizeof(FundRecord));
    }
}

static uint32_t IndexOf16(uint32_t word, uint32_t *near)
{
    uint32_t index = FindDateNear(word & 0xFFFF, near);
    return (word & 0xFFFF0000u) | (index == DATE_NOT_FOUND ? DATE_INDEX_NONE : index);
}

void ConvertDatesToIndexes(void)
{
    uint32_t near = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        if (f->points[0])
            for (uint32_t k = 0; k < f->pointCount; k++)
                f->points[0][k].dateWord = IndexOf16(f->points[0][k].dateWord, &near);
        if (f->splits)
            for (uint32_t k = 0; k < f->splitCount; k++)
                f->splits[k] = IndexOf16(f->splits[k], &near);
        if (f->dists)
            for (uint32_t k = 0; k < f->distCount; k++)
                f->dists[k].date = FindDateNear(f->dists[k].date, &near);
        if (f->excludeDate != 0)
            f->excludeDate = FindDateNear(f->excludeDate, &near);
    }
}

// The duplicate message names the date as MM/DD/YY.
static void ReportDuplicate(const char *what, const FundRecord *f, uint32_t index)
{
    PackedDate d = index < DateCount ? DateTable[index] : 0;
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "error: duplicate %s, file=%s, date=%02u/%02u/%02u\n", what,
               f->shortName ? f->shortName : "", (unsigned)PackedMonth(d), (unsigned)PackedDay(d),
               (unsigned)(TwoDigitYearOfYearCode(PackedYearCode(d)) % 100));
    ReportError(text);
}

static uint32_t PointKey(const NavPoint &p) { return p.dateWord & 0xFFFF; }
static uint32_t DistKey(const DistRecord &d) { return d.date; }
static uint32_t SplitKey(const SplitRecord &s) { return s & 0xFFFF; }

// A stable insertion sort by date key: an element that follows a later one moves to just
// before the first (from the front) with a later date. Equal dates are reported and both
// kept; dates not in the table (the largest keys) sort last without a message.
template <typename Element>
static void SortByDate(Element *array, uint32_t count, uint32_t (*keyOf)(const Element &),
                       uint32_t missing, const char *what, const FundRecord *fund)
{
    if (!array || count < 2)
        return;
    // The second pass stores a file listed oldest first (the usual order) newest first;
    // a strictly descending array is simply reversed, which is what the insertion would
    // make of it, without its quadratic moves.
    uint32_t descending = 1;
    while (descending < count && keyOf(array[descending - 1]) > keyOf(array[descending]))
        descending++;
    if (descending == count) {
        for (uint32_t lo = 0, hi = count - 1; lo < hi; lo++, hi--) {
            Element t = array[lo];
            array[lo] = array[hi];
            array[hi] = t;
        }
        return;
    }
    for (uint32_t i = 1; i < count; i++) {
        uint32_t key = keyOf(array[i]);
        uint32_t before = keyOf(array[i - 1]);
        if (key == before && key != missing) {
            ReportDuplicate(what, fund, key);
            continue;
        }
        if (before <= key)
            continue;
        uint32_t at = 0;
        while (keyOf(array[at]) <= key)
            at++;
        // An oldest-first file arrives newest first: its equal dates meet only here.
        if (at > 0 && keyOf(array[at - 1]) == key && key != missing)
            ReportDuplicate(what, fund, key);
        Element moving = array[i];
        memmove(&array[at + 1], &array[at], (i - at) * sizeof(Element));
        array[at] = moving;
    }
}

void SortPoints(FundRecord *f)
{
    SortByDate(f->points[0], f->pointCount, PointKey, DATE_INDEX_NONE, "NAV", f);
}

void SortDists(FundRecord *f)
{
    SortByDate(f->dists, f->distCount, DistKey, DATE_NOT_FOUND, "distribution", f);
}

void SortSplits(FundRecord *f)
{
    SortByDate(f->splits, f->splitCount, SplitKey, DATE_INDEX_NONE, "split", f);
}

void SetRecentStart(FundRecord *f)
{
    f->recentStart = 0;
    f->recentStartShort = 0;
    uint32_t n = f->pointCount;
    if (n <= 1 || !f->points[0])
        return;
    uint32_t lastYear = YearCodeOf(f->points[0][n - 1].dateWord & 0xFFFF);
    uint32_t k = n - 2;
    while (k > 0 && YearCodeOf(f->points[0][k].dateWord & 0xFFFF) + 1 >= lastYear)
        k--;
    if (k >= 100)
        f->recentStart = k + 1;
    else if (k > 0)
        f->recentStartShort = k + 1;
}

void FreeDataSet(void)
{
    FreePassFileNames();
    FreeFundTable();
    FreeDateTable();
    FreeBlock(QuarterTable);
    QuarterTable = nullptr;
    QuarterCount = 0;
    FreeRateTables();
    FreeValidateLines();
}

void LoadDataFiles(void)
{
    FreeDataSet();
    PlatSendProgress(PROGRESS_BUSY_ON, nullptr);
    BeginDateTable();
    AllocateFundTable(CountNavFiles());
    PlatSendProgress(PROGRESS_BAR_CREATE, nullptr);
    PlatSendProgress(PROGRESS_STATUS_TEXT, "First read pass");
    ReadFundFiles(NAV_FIRST_PASS);
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    PlatSendProgress(PROGRESS_STATUS_TEXT, "");
    FinishDateTable();
    AllocateFundArrays();
    PlatSendProgress(PROGRESS_STATUS_TEXT, "Second read pass");
    ReadFundFiles(NAV_SECOND_PASS);
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    RemoveUnnamedFunds();
    ConvertDatesToIndexes();
    ReadRateFiles();
}
