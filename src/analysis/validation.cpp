// The validation of one fund: a working copy of series 0, the walk-forward and the odds of
// overfitting on it.
#include "analysis/validation.h"

#include <string.h>

#include "analysis/overfit.h"
#include "analysis/strategy.h"
#include "analysis/walkforward.h"
#include "data/alloc.h"

void ValidateFund(FundRecord *fund)
{
    ValidationStats v;
    memset(&v, 0, sizeof v);
    const MaSettings *settings = &fund->maSettings[0];
    v.maKind = settings->maKind;
    memcpy(v.words, settings->words, sizeof v.words);
    uint32_t count = fund->pointCount;
    if (fund->points[0] && count > 0 && settings->maKind >= MA_UMA && settings->maKind <= MA_VIDYA) {
        // The searches write ma, maEquity and the holding bits into the points they run
        // on; the fund's own points stay as the analysis left them.
        FundRecord scratch;
        memset(&scratch, 0, sizeof scratch);
        scratch.points[0] = (NavPoint *)AllocZero(count, sizeof(NavPoint));
        if (scratch.points[0]) {
            memcpy(scratch.points[0], fund->points[0], count * sizeof(NavPoint));
            scratch.pointCount = count;
            WalkForward(&scratch, &v);
            scratch.pointCount = count;
            scratch.recentStart = fund->recentStart;
            scratch.recentStartShort = fund->recentStartShort;
            BeginMoneyMarketWalk(&scratch);
            v.inSample = InSampleReturn(&scratch, settings);
            OverfitFigures(&scratch, settings, &v);
            EndMoneyMarketWalk();
            FreeBlock(scratch.points[0]);
        }
    }
    v.flags |= VALIDATION_DONE;
    fund->validation = v;
}
