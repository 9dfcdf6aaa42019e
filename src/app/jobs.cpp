// The recalculation jobs: the funds in scope searched again in the job's mode.
#include "app/jobs.h"

#include <vector>

#include "analysis/optimize.h"
#include "analysis/validation.h"
#include "app/loadworker.h"
#include "base/errors.h"
#include "data/fund.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/validatefile.h"
#include "data/viewflags.h"

void (*JobSwitchPage)(void);

// The argument of the job's funds: the kind a change job sets, or 0.
static uint32_t JobKind;

static int ShowsRelative(const FundRecord *f)
{
    return ShowBenchmark && f->indexName && f->indexName[0];
}

// The fund's status text: prefix, then its category in "[%s] " when it has one, then
// its name.
static void SendFundText(const FundRecord *f, const char *prefix)
{
    char text[REPORT_BUFFER_SIZE];
    uint32_t category = FundCategory(f);
    FormatText(text, sizeof text, "%s%s%s%s%s", prefix, category ? "[" : "",
               category ? CategoryTable[category].name : "", category ? "] " : "",
               f->name ? f->name : "");
    SendProgress(PROGRESS_STATUS_TEXT, text);
}

// Series 0 searched again, after the fund's status text.
static void OptimizeOwnSeries(FundRecord *f)
{
    SendFundText(f, "Normalize and Optimize data 1: ");
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

// Whether FundTable[i] is in the job's scope (current: the current fund's index).
static int InScope(const JobRequest *job, uint32_t i, uint32_t current)
{
    if (job->scope == JOB_DISPLAYED_FUNDS && !(FundTable[i].flags & FUND_DISPLAYED))
        return 0;
    return job->scope != JOB_CURRENT_FUND || i == current;
}

// The fund of a current-fund job (FundCount for the other scopes); 0 after reporting
// "Can't find displayed fund." and sending the common end's code 8.
static int FindJobFund(const JobRequest *job, uint32_t *current)
{
    *current = FundCount;
    if (job->scope != JOB_CURRENT_FUND)
        return 1;
    *current = CurrentFund(job->currentTab);
    if (*current < FundCount)
        return 1;
    ReportInternal("Can't find displayed fund.");
    // Nothing changes; the common end still restores the cursor.
    SendProgress(PROGRESS_BUSY_OFF, nullptr);
    return 0;
}

uint32_t RecalculationJob(void *parameter)
{
    const JobRequest *job = (const JobRequest *)parameter;
    uint32_t current;
    if (!FindJobFund(job, &current))
        return 0;
    SendProgress(PROGRESS_BUSY_ON, nullptr);
    OptModeReselect = job->mode == JOB_RESELECT;
    OptModeRecalculate = job->mode == JOB_RECALCULATE;
    JobKind = job->mode == JOB_CHANGE_KIND ? job->kind : 0;
    SendProgress(PROGRESS_STATUS_TEXT, "");
    std::vector<AnalysisItem> items;
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (!InScope(job, i, current))
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

// One fund validated, after its status text.
static void ValidateOne(FundRecord *f)
{
    SendFundText(f, "Validate: ");
    ValidateFund(f);
}

uint32_t ValidationJob(void *parameter)
{
    const JobRequest *job = (const JobRequest *)parameter;
    uint32_t current;
    if (!FindJobFund(job, &current))
        return 0;
    SendProgress(PROGRESS_BUSY_ON, nullptr);
    SendProgress(PROGRESS_STATUS_TEXT, "");
    std::vector<AnalysisItem> items;
    for (uint32_t i = 0; i < FundCount; i++)
        if (InScope(job, i, current))
            items.push_back(AnalysisItem{i, ValidateOne, 0});
    AnalyseFundList(items.data(), (uint32_t)items.size(), 0);
    // The validation charts' scales and ranks take in the new figures.
    FinishChartScales();
    if (JobSwitchPage)
        JobSwitchPage();
    if (!items.empty())
        WriteValidateFile();
    BuildStatusLine();
    SendProgress(PROGRESS_BUSY_OFF, nullptr);
    return 0;
}
