// The per-point indicators of a series (RSI, Bollinger bands, MACD with its trigger and
// replay, ROC with its replay and threshold search) and its two five-point projections.
#ifndef VANTRY_INDICATORS_H
#define VANTRY_INDICATORS_H

#include <stdint.h>

#include "data/fund.h"

// Every operation reads value of the series' points; those that write per-point data do
// nothing when the series has no points or lacks the array they write. A point limit n above the point count
// counts as the point count. "Recent" points are those from recentStart on, or from
// recentStartShort when recentStart is 0, or all points when both are 0. Each extreme
// that an operation writes into the series' SeriesStats starts at 0 in every call, so
// maxima are never below 0 and minima never above 0.

// The rsi bits (0..100) of every point over a window of the last 9 steps: 0 for points
// 0..8; 100 while the window holds no fall.
void Rsi(FundRecord *fund, int series);

// middle of every band point: an exponential average with 10 percent of each value,
// written as 0 for the first 20 points.
void BollingerMiddle(FundRecord *fund, int series);
// width of every band point (after BollingerMiddle): twice the standard deviation of the
// 20 values before the point around the point's middle; 0 for the first 20 points. Sets
// maxBand and maxBandRecent, the largest middle + width from point 20 on.
void BollingerWidth(FundRecord *fund, int series);

// trendProjection: five values after the last point, each adding a slope of the last
// steps weighted towards the newest (missing steps count 0); a negative value becomes
// 0. All 0 without points.
void TrendProjection(FundRecord *fund, int series);
// With more than 10 points: patternMatch and patternProjection, the last value carried
// forward by the five step returns that followed the past five-step pattern nearest to
// the last five steps (the latest candidate wins ties). Fewer points leave both alone.
void PatternProjection(FundRecord *fund, int series);

// macd of points 0..n - 1 with macdFast and macdSlow; macdMax, macdMin and their recent
// pair over those points, multiplied by 1.1.
void Macd(FundRecord *fund, uint32_t n, int series);
// trigger of points 0..n - 1: macdTrigger's exponential average of macd.
void MacdTrigger(FundRecord *fund, uint32_t n, int series);
// Replays the MACD rule over every point (from point macdSlow on, buy when macd is above
// trigger by macdBuy percent of the MACD range; sell when below by macdSell percent):
// equity and the macdHolding bit; the histogram (macd - trigger) extremes, not scaled.
void SimulateMacd(FundRecord *fund, int series);

// roc of points 0..n - 1: the difference of the value from the one rocLength points
// earlier (0 before that); rocMax, rocMin and their recent pair, multiplied by 1.1.
void Roc(FundRecord *fund, uint32_t n, int series);
// The ROC threshold search over the trial points (after Roc over them): 16 strategies
// with buy thresholds 1..4 and sell thresholds 5..8 percent of the ROC range, in cells
// [1..4][5..8] of the StrategyGrid. Returns the best final cash with its thresholds;
// the first scanned wins ties, (1, 5) when none is better.
double ScoreRocGrid(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell);
// The same score, every strategy stepped through every point as the rule is written; the
// fast ScoreRocGrid must give its results to the last bit (and gives way to it while
// GridReferenceOnly is set).
double ScoreRocGridReference(FundRecord *fund, int series, uint32_t *buy, uint32_t *sell);
// Replays the ROC rule over every point (from point rocLength on, buy when roc is above
// rocBuy percent of the ROC range; sell when below minus rocSell percent): equity and
// the rocHolding bit.
void SimulateRoc(FundRecord *fund, int series);

#endif
