// The load driver's file steps: from the data directory to fund records over one date axis.
#ifndef VANTRY_LOAD_H
#define VANTRY_LOAD_H

#include <stdint.h>

#include "data/datadir.h"
#include "data/fund.h"
#include "data/navfile.h"

// Progress codes the workers send to the main window.
enum ProgressCode {
    PROGRESS_BAR_CREATE = 1,   // a progress bar for FundCount steps
    PROGRESS_BAR_STEP = 2,
    PROGRESS_BAR_RESET = 3,    // a new phase
    PROGRESS_BAR_REMOVE = 4,
    PROGRESS_STATUS_TEXT = 5,  // the text goes to the status line
    PROGRESS_DATA_READY = 6,   // posted, not sent
    PROGRESS_BUSY_OFF = 8,
    PROGRESS_BUSY_ON = 9,
};

// One double per quarter spanned by the DateTable, plus two; filled by the statistics.
extern double *QuarterTable;
extern uint32_t QuarterCount;

// The number of *.NAV files of DataDir (not directories).
uint32_t NavFileCount(void);
// NavFileCount, and NoNavFiles set when there is none (the status line then says so).
uint32_t CountNavFiles(void);
extern int NoNavFiles;
// Allocates count zero-filled records ("Out of memory." gives an empty table).
void AllocateFundTable(uint32_t count);
// One read pass, with its progress codes. The first pass reads the listing into
// consecutive records, decides FundCount (the records filled) and reports "Fund
// overflow!" when the listing holds more readable files than there are records; the
// second reads the same files into the same records.
void ReadFundFiles(int pass);
// The first pass with its files read on several threads, each file into the record of
// its place in the listing. ListFirstPassFiles takes the listing whole and returns 1
// with the number of files in *count (0 after "Out of memory."), or 0 when the files
// must be read by ReadFundFiles instead (more files than records, a name too long for a
// path). ReadListedFile reads file i (status text, messages and bar step as
// ReadFundFiles gives them) with its dates handed to sink; AddListedDate adds one of
// them, and EndListedFirstPass, after the last, moves the records of the files read
// together and sets FundCount.
int ListFirstPassFiles(uint32_t *count);
void ReadListedFile(uint32_t i, NavDateSink sink, void *context);
void AddListedDate(uint32_t i, PackedDate date, unsigned line);
void EndListedFirstPass(void);
// The second pass of one record of FundTable, with its status text and bar step; funds
// may be read on several threads, each its own. EndSecondPass after the last one frees
// the first pass's list of file names.
void ReadSecondPassFile(FundRecord *fund);
void EndSecondPass(void);
// After the first pass: the QuarterTable and, per fund, the point, band, MACD and ROC
// arrays of series 0, the distribution and split arrays, sized by the first pass.
void AllocateFundArrays(void);
// Its two steps: the QuarterTable, and one fund's arrays (which touch nothing shared, so
// funds may be given theirs on several threads).
void AllocateQuarterTable(void);
void AllocateArraysOf(FundRecord *fund);
// Removes the records whose file had no NAME line.
void RemoveUnnamedFunds(void);
// Replaces the packed dates of points, splits, distributions and exclusions by their
// DateIndex (0xFFFF, or all ones for distributions and exclusions, when not found).
void ConvertDatesToIndexes(void);
// Stable insertion sorts by date; equal dates report "error: duplicate %s, file=%s,
// date=MM/DD/YY" and keep both, dates not in the table sort last.
void SortPoints(FundRecord *fund);
void SortDists(FundRecord *fund);
void SortSplits(FundRecord *fund);
// recentStart (when at least 100) or recentStartShort (1 to 99): one past the last point
// whose year lies two or more below the last point's.
void SetRecentStart(FundRecord *fund);
// The file steps of a load, in order: date table, fund table, both passes, arrays,
// removal of unnamed funds, date indexes, the rate files.
void LoadDataFiles(void);
// Frees the whole data set (fund table, date table, quarter table, rate tables).
void FreeDataSet(void);

#endif
