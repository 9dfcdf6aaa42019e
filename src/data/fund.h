// The fund data model: packed dates, the fund records and their tables, the categories.
#ifndef VANTRY_FUND_H
#define VANTRY_FUND_H

#include <stddef.h>
#include <stdint.h>

// ---------------------------------------------------------------------------------------
// PackedDate: bits 0-6 year code (calendar year - 1960, 0-99), bits 7-10 month (1-12),
// bits 11-15 day (1-31); the upper 16 bits are zero. Ordered by year, month, day.
typedef uint32_t PackedDate;

static inline PackedDate MakePackedDate(uint32_t yearCode, uint32_t month, uint32_t day)
{
    return (yearCode & 0x7F) | ((month & 0xF) << 7) | ((day & 0x1F) << 11);
}
static inline uint32_t PackedYearCode(PackedDate d) { return d & 0x7F; }
static inline uint32_t PackedMonth(PackedDate d) { return (d >> 7) & 0xF; }
static inline uint32_t PackedDay(PackedDate d) { return (d >> 11) & 0x1F; }

// A two-digit year of the data files as a year code: below 60 the 2000s, else the 1900s.
static inline uint32_t YearCodeOfTwoDigitYear(uint32_t year)
{
    return year < 60 ? year + 40 : year - 60;
}
// A year code printed back as two digits.
static inline uint32_t TwoDigitYearOfYearCode(uint32_t yearCode)
{
    return yearCode < 40 ? yearCode + 60 : yearCode - 40;
}

// DatePeriod: year code * 60 + (month - 1) * 5 + slot of the day (1-7, 8-14, 15-21,
// 22-28, 29-31): 60 to a year, 15 to a quarter, 5 to a month.
int32_t PackedDatePeriod(PackedDate d);

// DateIndex: a 16-bit index into the DateTable; 0xFFFF in 16-bit fields and all ones in
// 32-bit results mean "not in the table".
typedef uint16_t DateIndex;
#define DATE_NOT_FOUND 0xFFFFFFFFu
#define DATE_INDEX_NONE 0xFFFFu

// ---------------------------------------------------------------------------------------
// Per-point records.

// dateWord bits: 0-15 the PackedDate while reading, then its DateIndex.
#define NAV_NO_VALUE (1u << 16)     // the line gave no number
#define NAV_MA_HOLDING (1u << 17)
#define NAV_MACD_HOLDING (1u << 18)
#define NAV_ROC_HOLDING (1u << 19)
#define NAV_RSI_SHIFT 20            // bits 20-26: RSI 0-100
#define NAV_RSI_MASK (0x7Fu << NAV_RSI_SHIFT)

struct NavPoint {
    uint32_t dateWord;
    double value;     // as read; after normalization one unit invested at the first point
    double change;    // percent change from the previous point
    double maEquity;
    double ma;
};

struct DistRecord {
    uint32_t date;    // the PackedDate, then the DateIndex; DATE_NOT_FOUND when absent
    double div;
    double scg;
    double mcg;
    double lcg;       // LCG or CG
    double total;     // div + scg + mcg + lcg
};

// SplitRecord word: bits 0-15 date, 16-23 new shares, 24-31 old shares.
typedef uint32_t SplitRecord;
static inline uint32_t SplitNewShares(SplitRecord s) { return (s >> 16) & 0xFF; }
static inline uint32_t SplitOldShares(SplitRecord s) { return (s >> 24) & 0xFF; }

struct BandPoint {
    double middle;
    double width;
};

struct MacdPoint {
    double macd;
    double trigger;
    double equity;
};

struct RocPoint {
    double roc;
    double equity;
};

struct YearReturn {
    double percent;
    uint32_t valid;
};

// ---------------------------------------------------------------------------------------
// MaSettings: the moving-average kind, the five kinds' "Avg" figures of the search, and
// the 24 parameters packed into four words (saved as they stand in the opt file).

enum MaKind { MA_NONE = 0, MA_UMA = 1, MA_WMA = 2, MA_EMA = 3, MA_AMA = 4, MA_VIDYA = 5 };

struct MaSettings {
    uint32_t maKind;       // MaKind, 3 bits
    double maAverage[5];   // per kind 1..5 (index kind - 1), percent a year
    uint32_t words[4];     // the packed parameters, in the order of MaParam
};

// The packed parameters, in the order of their bits (word 1 bit 0 first).
enum MaParam {
    UMA_LENGTH, UMA_BUY, UMA_SELL, WMA_LENGTH, WMA_BUY, WMA_SELL,
    EMA_PERCENT, EMA_BUY, EMA_SELL, AMA_LENGTH, AMA_BUY, AMA_SELL,
    VIDYA_LENGTH, VIDYA_PERCENT, VIDYA_BUY, VIDYA_SELL, MACD_FAST, MACD_SLOW,
    MACD_TRIGGER, MACD_BUY, MACD_SELL, ROC_LENGTH, ROC_BUY, ROC_SELL,
    MA_PARAM_COUNT
};

// Word (0-3), first bit and width of each parameter.
struct MaParamField {
    uint8_t word, shift, width;
};
extern const MaParamField MaParamFields[MA_PARAM_COUNT];

// A parameter's value; Set masks the value to the field's width.
uint32_t GetMaParam(const MaSettings *s, MaParam p);
void SetMaParam(MaSettings *s, MaParam p, uint32_t value);
// The length (EMA: percent) parameter of a kind 1..5, and its buy and sell thresholds.
MaParam MaLengthParam(uint32_t kind);
MaParam MaBuyParam(uint32_t kind);
MaParam MaSellParam(uint32_t kind);
// The labels of the kinds 1..5: "UMA", "WMA", "EMA", "AMA", "VIDYA" ("" for 0).
const char *MaKindLabel(uint32_t kind);

// ---------------------------------------------------------------------------------------
// SeriesStats: the statistics of one series, and the extremes that scale its graph.
// Returns are percent (a year where annualized); "recent" means the points from
// recentStart on, or from recentStartShort when recentStart is 0, else all points.

// Rolling annualised returns over every window of a number of months between two month
// ends (percent): how they spread, and how often they were positive or beat the index fund.
struct RollingReturns {
    uint32_t count;             // windows
    double worst;
    double median;
    double best;
    double positiveShare;       // percent of the windows above 0
    uint32_t beatCount;         // windows the index fund also has (series 0 only)
    double beatShare;           // percent of those in which the fund did better
};

// The rolling windows kept: 1, 3 and 5 years.
#define ROLLING_WINDOWS 3
// Room for a percentile rank per comparison-chart code.
#define RANKED_CHART_ROOM 32

// The analyst's figures of a series beyond the charts of the first edition; docs/statistics.md
// defines each. Percent figures are in percent; dates are DateIndex values, DATE_NOT_FOUND
// when there is none.
struct AnalystStats {
    double maxDrawdown;         // deepest fall from a running peak, 0 or negative
    uint32_t drawdownPeak;
    uint32_t drawdownTrough;
    uint32_t drawdownRecovery;  // first point back at the peak's value
    double drawdownWeeks;       // peak to recovery, or to the last point when not recovered
    double currentDrawdown;     // the last point against the running peak
    uint32_t monthCount;        // monthly returns (consecutive month ends)
    double monthlyVolatility;   // annualised sample deviation of the monthly returns
    double downsideDeviation;   // annualised, against the month's risk-free return
    double sortino;
    RollingReturns rolling[ROLLING_WINDOWS];
    // Against the index fund's series 0 (series 0 of a fund with an index fund; else 0).
    uint32_t benchmarkMonths;   // months both have a return in
    double beta;
    double alpha;               // Jensen's, annualised percent
    double rSquared;            // percent
    double trackingError;       // annualised percent
    double informationRatio;
    double upCapture;
    double downCapture;
    // Percentile rank in the fund's category per chart code: 1 best .. 100 worst, 0 none.
    uint32_t percentile[RANKED_CHART_ROOM];
};

struct SeriesStats {
    uint32_t longestPeriod;     // 6 (six months), 1, 3, 5, 7, 10 (years); 0 none
    double ytdReturn;
    double volatility;          // population standard deviation of quarterly returns
    double rewardRisk;
    double sharpe;
    double totalReturn;
    double return6Month;
    double return1Year;
    double return3Year;
    double return5Year;
    double return7Year;
    double return10Year;
    double currentStrength;     // percent distance of the last value from its average
    double maSignal;
    double macdStrength;
    double rocLatest;
    double maxChange;           // extremes of the points' change
    double minChange;
    double maxChangeRecent;
    double minChangeRecent;
    // Scale maxima of the graph's value axis.
    double maxValue;            // largest value
    double maxMaEquity;         // largest of value and maEquity
    double maxMacdEquity;       // largest of value and the MACD replay's equity
    double maxRocEquity;        // largest of value and the ROC replay's equity
    double maxValueRecent;
    double maxMaEquityRecent;
    double maxMacdEquityRecent;
    double maxRocEquityRecent;
    double maxBand;             // largest Bollinger middle + width
    double maxBandRecent;
    // Indicator extremes (MACD and ROC ones stored multiplied by 1.1).
    double macdMax, macdMin, macdMaxRecent, macdMinRecent;
    double histogramMax, histogramMin, histogramMaxRecent, histogramMinRecent;
    double rocMax, rocMin, rocMaxRecent, rocMinRecent;
    AnalystStats analyst;
};

// ---------------------------------------------------------------------------------------
// ValidationStats: whether the search's choice of series 0 holds up out of sample, from
// the Validate job or restored from the "validate" cache; docs/statistics.md defines each
// figure. Kept with the settings they were computed for, so that a later change of the
// kind or the parameters leaves them standing as stale rather than wrong.

#define VALIDATION_DONE (1u << 0)   // the job ran on the fund's current data
#define VALIDATION_WALK (1u << 1)   // walkYears > 0: the walk-forward figures exist
#define VALIDATION_CSCV (1u << 2)   // the trial period was long enough for PBO and DSR

struct ValidationStats {
    uint32_t flags;
    uint32_t maKind;            // series 0's kind and packed parameters they belong to
    uint32_t words[4];
    uint32_t walkYears;         // out-of-sample years chained
    uint32_t strategies;        // strategies of the chosen kind that the search tried
    double walkForward;         // annualised percent of the chained out-of-sample years
    double buyAndHold;          // annualised percent of the fund over the same years
    double inSample;            // annualised percent of the chosen rule over the trial
    double pbo;                 // probability of backtest overfitting, 0..1
    double sharpe;              // the chosen rule's Sharpe ratio per point, trial period
    double expectedMaxSharpe;   // what the best of that many unskilled strategies expects
    double deflatedSharpe;      // 0..1
};

// ---------------------------------------------------------------------------------------
// FundRecord: one per loaded *.NAV file. Every pointer owns its block; a [2] field exists
// once per series (0: the fund's own total return, 1: relative to its index fund).

// flags bits
#define FUND_IN_PORTFOLIO (1u << 22)
#define FUND_CATEGORY_SHIFT 23
#define FUND_CATEGORY_MASK (0xFu << FUND_CATEGORY_SHIFT)
#define FUND_DISPLAYED (1u << 27)
#define FUND_OVERLAY_SHIFT 28
#define FUND_OVERLAY_MASK (0xFu << FUND_OVERLAY_SHIFT)

struct FundRecord {
    char *name;                 // from the NAME line, set in the second pass
    char *shortName;            // the file name up to its first "."
    char *url;                  // may be null
    uint32_t fileSize;          // bytes, taken in the first pass
    NavPoint *points[2];
    BandPoint *bandPoints[2];
    MacdPoint *macdPoints[2];
    RocPoint *rocPoints[2];
    double trendProjection[2][5];
    double patternProjection[2][5];
    uint32_t patternMatch[2];
    uint32_t pointCount;
    char *indexName;            // shortName of the index fund, may be null
    YearReturn *yearReturns[2];
    uint32_t yearCount;
    DistRecord *dists;
    uint32_t distCount;
    uint32_t excludeDate;       // PackedDate, then DateIndex; 0 means none
    double distTotal;
    SplitRecord *splits;
    uint32_t splitCount;
    MaSettings maSettings[2];
    SeriesStats stats[2];
    uint32_t flags;
    uint32_t savedOverlayColour;
    double navChange;
    uint32_t recentStart;
    uint32_t recentStartShort;
    double taxEfficiency;
    ValidationStats validation;
};

static inline uint32_t FundCategory(const FundRecord *f)
{
    return (f->flags & FUND_CATEGORY_MASK) >> FUND_CATEGORY_SHIFT;
}
static inline void SetFundCategory(FundRecord *f, uint32_t category)
{
    f->flags = (f->flags & ~FUND_CATEGORY_MASK) | ((category & 0xF) << FUND_CATEGORY_SHIFT);
}

// The fund table of the current data set.
extern FundRecord *FundTable;
extern uint32_t FundCount;
// The largest pixel width of any fund name, measured as the names are read.
extern uint32_t MaxNameWidth;

// Finds a fund by shortName, compared without regard to case; the first match or null.
FundRecord *FindFund(const char *shortName);
// Frees series 1's own arrays (not those it shares with series 0) and clears its pointers.
void FreeSeriesOneArrays(FundRecord *fund);
// Frees every block a record owns (series 1's arrays only where they are its own).
void FreeFundArrays(FundRecord *fund);
// Frees the fund table with every record's blocks; FundTable null, FundCount 0.
void FreeFundTable(void);

// ---------------------------------------------------------------------------------------
// CategoryTable: name and attribute word (low byte bar colour, next byte label colour).

struct CategoryEntry {
    const char *name;
    uint32_t attribute;
};

#define CATEGORY_COUNT 16
#define CATEGORY_INDEX 7
#define CATEGORY_PORTFOLIO 15
extern const CategoryEntry CategoryTable[CATEGORY_COUNT];

// Case-insensitive comparison of ASCII letters (the keyword and short-name rule).
int CompareNoCase(const char *a, const char *b);

#endif
