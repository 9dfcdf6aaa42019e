// The recalculation jobs: the funds in scope searched again in the job's mode.
#include "app/jobs.h"

#include <vector>

#include "analysis/optimize.h"
#include "app/loadworker.h"
#include "base/errors.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/viewflags.h"

void (*JobSwitchPage)(void);

// The argument of the job's funds: the kind a change job sets, or 0.
static uint32_t JobKind;

static int ShowsRelative(const FundRecord *f)
{
    return ShowBenchmark && f->indexName && f->indexName[0];
}

// Series 0 searched again, after the fund's status text.
static void OptimizeOwnSeries(FundRecord *f)
{
    char text[REPORT_BUFFER_SIZE];
    uint32_t category = FundCategory(f);
    FormatText(text, sizeof text, "Normalize and Optimize data 1: %s%s%s%s",
               category ? "[" : "", category ? CategoryTable[category].name : "",
               category ? "] " : "", f->name ? f->name : "");
    SendProgress(PROGRESS_STATUS_TEXT, text);
    f->maSettings[0].maKind = JobKind;
    OptimizeFund(f, 0);
}

// Series 1, the one the benchmark view shows, built and searched again; no status text.
static void RelateAgain(FundRecord *f)
{
    f->maSettings[1].maKind = JobKind;
    RelateFund(f);
}

// The record of the (tab - 3)-th displayed fund in table order; FundCount when none.
static uint32_t CurrentFund(int32_t tab)
{
    if (tab < 3)
        return FundCount;
    uint32_t wanted = (uint32_t)(tab - 3), seen = 0;
    for (uint32_t i = 0; i < FundCount; i++)
        if (FundTable[i].flags & FUND_DISPLAYED) {
            if (seen == wanted)
                return i;
            seen++;
        }
    return FundCount;
}

uint32_t RecalculationJob(void *parameter)
{
    const JobRequest *job = (const JobRequest *)parameter;
    uint32_t current = FundCount;
    if (job->scope == JOB_CURRENT_FUND) {
        current = CurrentFund(job->currentTab);
        if (current >= FundCount) {
            ReportInternal("Can't find displayed fund.");
            // Nothing changes; the common end still restores the cursor.
            SendProgress(PROGRESS_BUSY_OFF, nullptr);
            return 0;
        }
    }
    SendProgress(PROGRESS_BUSY_ON, nullptr);
    OptModeReselect = job->mode == JOB_RESELECT;
    OptModeRecalculate = job->mode == JOB_RECALCULATE;
    JobKind = job->mode == JOB_CHANGE_KIND ? job->kind : 0;
    SendProgress(PROGRESS_STATUS_TEXT, "");
    std::vector<AnalysisItem> items;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (job->scope == JOB_DISPLAYED_FUNDS && !(f->flags & FUND_DISPLAYED))
            continue;
        if (job->scope == JOB_CURRENT_FUND && i != current)
            continue;
        // A relative series reads its index fund's series 0: it is built after the
        // searches of the funds' own series.
        if (ShowsRelative(f))
            items.push_back(AnalysisItem{i, RelateAgain, 1});
        else
            items.push_back(AnalysisItem{i, OptimizeOwnSeries, 0});
    }
    AnalyseFundList(items.data(), (uint32_t)items.size(), 0);
    OptModeReselect = 0;
    OptModeRecalculate = 0;
    JobKind = 0;
    // The comparison charts' scales take in the new figures.
    FinishChartScales();
    if (JobSwitchPage)
        JobSwitchPage();
    // The opt file is written only when something changed in it; a change job that
    // finds its kind's parameters set searches nothing, yet its new kind must be kept.
    if (!items.empty())
        __atomic_store_n(&OptimizedFlag, 1, __ATOMIC_RELAXED);
    WriteOptFile();
    BuildStatusLine();
    SendProgress(PROGRESS_BUSY_OFF, nullptr);
    return 0;
}
