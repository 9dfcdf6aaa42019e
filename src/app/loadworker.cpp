// The load worker, step by step: files, side files, analysis, relative series, ranking.
#include "app/loadworker.h"

#include <math.h>
#include <string.h>

#include "analysis/indicators.h"
#include "analysis/movavg.h"
#include "analysis/optimize.h"
#include "analysis/ranking.h"
#include "analysis/stats.h"
#include "app/errors.h"
#include "app/viewstate.h"
#include "data/alloc.h"
#include "data/datetable.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/navfile.h"
#include "data/optfile.h"
#include "data/ratefile.h"
#include "data/sidefiles.h"
#include "platform/platform.h"

int LoadWritesFiles = 1;

static void SendText(const char *text)
{
    PlatSendProgress(PROGRESS_STATUS_TEXT, text);
}

void AnalyseFund(FundRecord *f)
{
    char text[REPORT_BUFFER_SIZE];
    uint32_t category = FundCategory(f);
    FormatText(text, sizeof text, "Normalize and Optimize data 1: %s%s%s%s",
               category ? "[" : "", category ? CategoryTable[category].name : "",
               category ? "] " : "", f->name ? f->name : "");
    SendText(text);
    SortPoints(f);
    SortDists(f);
    SortSplits(f);
    FillMissingValues(f);
    SetRecentStart(f);
    NormalizeFund(f);
    if (f->distCount > 0) {
        f->distTotal = 0;
        for (uint32_t k = 0; k < f->distCount; k++)
            f->distTotal += f->dists[k].total;
    }
    OptimizeFund(f, 0);
    Rsi(f, 0);
}

// The smallest whole number not below x, for x above 0; else 0.
static uint32_t WholeCeiling(double x)
{
    if (!(x > 0))
        return 0;
    double c = ceil(x);
    return c >= 4294967295.0 ? 0xFFFFFFFFu : (uint32_t)c;
}

void FinishChartScales(void)
{
    ChartScaleExtremesRecord &e = ChartScaleExtremes;
    // A fund whose series 1 is its series 0 shows its own figures in the benchmark view.
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        // Index funds and funds without an index fund: series 1 is a copy of series 0,
        // whose statistics never passed the statistics step as series 1.
        if (f->points[1] != f->points[0])
            continue;
        for (int k = 0; k < CHART_STATISTIC_COUNT; k++)
            TrackChartExtreme(1, (ChartStatistic)k, ChartStatisticValue(&f->stats[0], (ChartStatistic)k));
        if (f->taxEfficiency > e.taxEfficiencyMaximum)
            e.taxEfficiencyMaximum = f->taxEfficiency;
    }
    for (int s = 0; s < 2; s++)
        for (int k = 0; k < CHART_STATISTIC_COUNT; k++) {
            uint32_t negative = k == STAT_VOLATILITY ? 0 : WholeCeiling(-e.minimum[s][k]);
            e.negativeExtent[s][k] = negative;
            e.totalExtent[s][k] = WholeCeiling(e.maximum[s][k]) + negative;
        }
    e.taxEfficiencyExtent = WholeCeiling(e.taxEfficiencyMaximum);
}

uint32_t LoadThread(void *)
{
    char path[DATA_PATH_SIZE];
    FreeDataSet();
    ResetChartScaleExtremes();
    PlatSendProgress(PROGRESS_BUSY_ON, nullptr);

    FreeOptTable();
    DataPath("opt", path);
    ReadOptFile(path, OPT_COUNT_RECORDS);

    BeginDateTable();
    AllocateFundTable(CountNavFiles());
    PlatSendProgress(PROGRESS_BAR_CREATE, nullptr);
    SendText("First read pass");
    ReadFundFiles(NAV_FIRST_PASS);
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    SendText("");
    FinishDateTable();
    AllocateFundArrays();

    ReadOptFile(path, OPT_STORE_RECORDS);
    SendText("Second read pass");
    ReadFundFiles(NAV_SECOND_PASS);
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    RemoveUnnamedFunds();
    ConvertDatesToIndexes();

    ReadPortfolioFile();
    ReadSettingsFile();
    ReadIndexFile();
    SortFunds();
    BuildTriangularWeights();
    ReadRateFiles();

    SendText("Normalize and Optimize data");
    for (uint32_t i = 0; i < FundCount; i++) {
        AnalyseFund(&FundTable[i]);
        PlatSendProgress(PROGRESS_BAR_STEP, nullptr);
    }

    // Every fund gets its series 1: the relative one, or series 0 shared.
    PlatSendProgress(PROGRESS_BAR_RESET, nullptr);
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        BuildRelativeSeries(f);
        if (f->indexName)
            Rsi(f, 1);
        PlatSendProgress(PROGRESS_BAR_STEP, nullptr);
    }
    PlatSendProgress(PROGRESS_BAR_REMOVE, nullptr);

    FinishChartScales();
    SortFunds();
    if (LoadWritesFiles)
        WriteOptFile();
    BuildStatusLine();

    PlatPostProgress(PROGRESS_DATA_READY);
    PlatSendProgress(PROGRESS_BUSY_OFF, nullptr);
    return 0;
}
