// The odds that the search's choice is overfit: the probability of backtest overfitting
// by combinatorially symmetric cross-validation, and the deflated Sharpe ratio, with the
// normal distribution they rest on. docs/statistics.md defines both figures.
#ifndef VANTRY_OVERFIT_H
#define VANTRY_OVERFIT_H

#include <stdint.h>

#include "data/fund.h"

// Blocks the trial period is cut into; every half of them is one in-sample choice.
#define CSCV_BLOCKS 16
// Fewer returns than this per block leave PBO and DSR out.
#define CSCV_MIN_BLOCK_RETURNS 4

// The standard normal distribution function and its inverse (0 and 1 give -/+ infinity;
// outside [0, 1] gives NaN). The inverse is good to about 1e-15 relative.
double NormalCdf(double x);
double NormalQuantile(double p);

// The expected largest Sharpe ratio of trials unskilled strategies whose Sharpe ratios
// vary by variance: sqrt(V) ((1 - g) Z(1 - 1/N) + g Z(1 - 1/(N e))), g Euler's constant,
// Z the normal quantile. 0 for fewer than 2 trials or a variance not above 0.
double ExpectedMaximumSharpe(uint32_t trials, double variance);
// The probability that the true Sharpe ratio exceeds sr0, given the observed sharpe over
// observations returns with their skewness and kurtosis (3 for normal returns); both
// ratios per observation, not annualised. 0 when it cannot be formed (fewer than 2
// observations, a non-positive variance term).
double DeflatedSharpe(double sharpe, double sr0, uint32_t observations, double skewness,
                      double kurtosis);

// The probability of backtest overfitting of strategies whose returns are summed per
// block: sum[b * strategies + j] and squares[b * strategies + j] are the sum and the sum
// of squares of strategy j's perBlock returns in block b (blocks even, at most 24).
// weight[j] (null: all 1) counts identical strategies merged into j. For every choice of
// half the blocks as in-sample, the strategy with the best in-sample Sharpe ratio (the
// first among equals) is ranked by its out-of-sample Sharpe ratio among all, ties at their
// mean rank, w = rank / (N + 1); the result is the share of choices with ln(w / (1 - w))
// <= 0. -1 when it cannot be formed (fewer than 2 strategies, odd or too many blocks).
double CscvOverfitProbability(const double *sum, const double *squares, const uint32_t *weight,
                              uint32_t strategies, uint32_t blocks, uint32_t perBlock);

// PBO and the deflated Sharpe ratio of the chosen rule of settings (series 0's kind,
// parameter and thresholds) among every parameter value and threshold pair the search
// tried for that kind, over the trial points of scratch (a working copy of series 0 with
// the fund's recentStart; its ma and maSettings are overwritten). Writes strategies, pbo,
// sharpe, expectedMaxSharpe, deflatedSharpe and the VALIDATION_CSCV flag into v, or
// leaves the flag clear when the trial period is too short or memory runs out.
void OverfitFigures(FundRecord *scratch, const MaSettings *settings, ValidationStats *v);

#endif
