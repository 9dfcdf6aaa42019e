// The fund-wide extremes of the statistics that scale the comparison charts.
#include "analysis/extremes.h"

#include <string.h>

ChartScaleExtremesRecord ChartScaleExtremes;
// Per thread, and only used in this file (reached from others through the setter).
static thread_local ChartScaleExtremesRecord *ChartExtremesTarget = &ChartScaleExtremes;

void SetThreadChartExtremes(ChartScaleExtremesRecord *target)
{
    ChartExtremesTarget = target ? target : &ChartScaleExtremes;
}

void MergeChartScaleExtremes(const ChartScaleExtremesRecord *part)
{
    for (int s = 0; s < 2; s++)
        for (int k = 0; k < CHART_STATISTIC_COUNT; k++) {
            if (part->maximum[s][k] > ChartScaleExtremes.maximum[s][k])
                ChartScaleExtremes.maximum[s][k] = part->maximum[s][k];
            if (part->minimum[s][k] < ChartScaleExtremes.minimum[s][k])
                ChartScaleExtremes.minimum[s][k] = part->minimum[s][k];
        }
    if (part->taxEfficiencyMaximum > ChartScaleExtremes.taxEfficiencyMaximum)
        ChartScaleExtremes.taxEfficiencyMaximum = part->taxEfficiencyMaximum;
}

void ResetChartScaleExtremes(void)
{
    memset(&ChartScaleExtremes, 0, sizeof ChartScaleExtremes);
}

void TrackChartExtreme(int series, ChartStatistic statistic, double value)
{
    double &maximum = ChartExtremesTarget->maximum[series][statistic];
    double &minimum = ChartExtremesTarget->minimum[series][statistic];
    if (value > 0 && value > maximum)
        maximum = value;
    // Volatility is never negative; only its largest value scales a chart.
    if (statistic != STAT_VOLATILITY && value < 0 && value < minimum)
        minimum = value;
}

double ChartStatisticValue(const SeriesStats *s, ChartStatistic statistic)
{
    switch (statistic) {
    case STAT_YTD: return s->ytdReturn;
    case STAT_VOLATILITY: return s->volatility;
    case STAT_REWARD_RISK: return s->rewardRisk;
    case STAT_SHARPE: return s->sharpe;
    case STAT_TOTAL: return s->totalReturn;
    case STAT_6MONTH: return s->return6Month;
    case STAT_1YEAR: return s->return1Year;
    case STAT_3YEAR: return s->return3Year;
    case STAT_5YEAR: return s->return5Year;
    case STAT_7YEAR: return s->return7Year;
    case STAT_10YEAR: return s->return10Year;
    case STAT_STRENGTH: return s->currentStrength;
    case STAT_MACD_STRENGTH: return s->macdStrength;
    case STAT_ROC: return s->rocLatest;
    case STAT_MAX_DRAWDOWN: return s->analyst.maxDrawdown;
    case STAT_SORTINO: return s->analyst.sortino;
    case STAT_BETA: return s->analyst.beta;
    case STAT_ALPHA: return s->analyst.alpha;
    case STAT_UP_CAPTURE: return s->analyst.upCapture;
    case STAT_DOWN_CAPTURE: return s->analyst.downCapture;
    case STAT_TRACKING_ERROR: return s->analyst.trackingError;
    case STAT_INFORMATION_RATIO: return s->analyst.informationRatio;
    case STAT_WORST_3YEAR: return s->analyst.rolling[1].worst;
    default: return 0;
    }
}

void TrackTaxEfficiencyExtreme(double value)
{
    if (value > ChartExtremesTarget->taxEfficiencyMaximum)
        ChartExtremesTarget->taxEfficiencyMaximum = value;
}
