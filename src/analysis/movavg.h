// The five moving averages of a series' values (UMA, WMA, EMA, AMA, VIDYA) and the
// VIDYA percent limit with its reference volatility.
#ifndef VANTRY_MOVAVG_H
#define VANTRY_MOVAVG_H

#include <stdint.h>

#include "data/fund.h"

// Entry k = k * (k + 1) / 2 for k = 0..60: the weight sums of the WMA.
#define TRIANGULAR_WEIGHT_COUNT 61
extern uint32_t TriangularWeights[TRIANGULAR_WEIGHT_COUNT];
// Fills TriangularWeights; the load calls it before the first fund is analysed.
void BuildTriangularWeights(void);

// The largest percent the vidyaPercent field holds (7 bits).
#define VIDYA_PERCENT_MAX 127u

// Each average writes ma of points 0..n - 1 of the series from their value and leaves
// the later points alone. It does nothing when n is 0, when the series has no points or
// when its length (EMA: percent) parameter in the series' MaSettings is 0; n above the
// point count counts as the point count. Every average starts from the first value and
// is a single pass with running sums (no allocation).

// Unweighted mean of the umaLength values before each point (the point's own value is
// not included; fewer values near the start).
void Uma(FundRecord *fund, uint32_t n, int series);
// Linearly weighted mean of the wmaLength values before each point, the newest
// weighing wmaLength and the oldest 1.
void Wma(FundRecord *fund, uint32_t n, int series);
// Exponential average with emaPercent percent of each point's own value.
void Ema(FundRecord *fund, uint32_t n, int series);
// Adaptive average over amaLength steps: each step moves the average by the latest move
// scaled by the squared efficiency ratio (doubled against a lagging average).
void Ama(FundRecord *fund, uint32_t n, int series);
// Variable average over vidyaLength steps: alpha = vidyaPercent * (path length of the
// last vidyaLength steps / reference) / 100. reference is the one VidyaPercentLimit
// delivers for the same length (0 gives alpha 0).
void Vidya(FundRecord *fund, uint32_t n, int series, double reference);
// The first of Vidya's two steps, for the search that tries many percents of one
// length: the ratios vol / reference of points 0..n - 1 into ratio (n elements), from
// which VidyaLanes gives the bits of Vidya.
void VidyaRatios(const FundRecord *fund, uint32_t n, int series, double reference,
                 double *ratio);
// The search's averages several parameters at a time: AVERAGE_LANES of them side by
// side, each lane the very steps of the one-at-a-time average, so that their chains of
// arithmetic overlap. Each writes the average of parameter[k] over points 0..n - 1 of
// the series into out[k] (n elements each), for count parameters (1..AVERAGE_LANES);
// the points' ma fields are not touched. EmaLanes: Ema with emaPercent parameter[k].
// VidyaLanes: Vidya of the series' vidyaLength with vidyaPercent parameter[k], from that
// length's ratios (VidyaRatios). AmaLanes: Ama with amaLength parameter[k]; when one of
// the lengths is 0 it writes nothing (nor does Ama for that length).
#define AVERAGE_LANES 4
void EmaLanes(const FundRecord *fund, uint32_t n, int series, const uint32_t *parameter,
              uint32_t count, double *const *out);
void VidyaLanes(const FundRecord *fund, uint32_t n, int series, const double *ratio,
                const uint32_t *parameter, uint32_t count, double *const *out);
void AmaLanes(const FundRecord *fund, uint32_t n, int series, const uint32_t *parameter,
              uint32_t count, double *const *out);
// Copies an average of n points (as the lane averages give it) into the series' ma fields.
void SetAverage(FundRecord *fund, uint32_t n, int series, const double *ma);

// Over all points of the series whatever any limit, for the series' vidyaLength L:
// stores the reference volatility R = mean step * L in *reference (may be null) and
// returns the largest useful vidyaPercent, min(R / largest path of L steps, 80) * 100
// truncated (0 for a constant series or fewer than 2 points; up to 8000).
uint32_t VidyaPercentLimit(const FundRecord *fund, int series, double *reference);
// The largest percent the search tries for the series' vidyaLength: VidyaPercentLimit,
// but never more than the field holds (a larger percent would be stored masked, as a
// different average than the one scored). Delivers the reference the same way.
uint32_t VidyaSearchLimit(const FundRecord *fund, int series, double *reference);

// The average of kind 1..5 with the series' parameters over n points (VIDYA with the
// reference VidyaPercentLimit gives); nothing for another kind.
void MovingAverage(FundRecord *fund, uint32_t kind, uint32_t n, int series);

#endif
