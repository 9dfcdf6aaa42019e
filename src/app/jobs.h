// The recalculation jobs of the Optimize menu: change the moving-average kind, reselect
// the kind, or recalculate the optimal values, for all funds, the displayed funds or the
// fund of the current graph page.
#ifndef VANTRY_JOBS_H
#define VANTRY_JOBS_H

#include <stdint.h>

enum JobMode : uint32_t {
    JOB_CHANGE_KIND = 0,   // to the request's kind 1..5
    JOB_RESELECT = 1,      // OptModeReselect during the work
    JOB_RECALCULATE = 2    // OptModeRecalculate during the work
};

enum JobScope : uint32_t {
    JOB_ALL_FUNDS = 0,
    JOB_DISPLAYED_FUNDS = 1,
    JOB_CURRENT_FUND = 2   // the (currentTab - 3)-th displayed fund
};

// A job's one argument, owned by the starter until the job ends.
struct JobRequest {
    uint32_t mode;        // JobMode
    uint32_t scope;       // JobScope
    uint32_t kind;        // the new maKind (1..5) of a change job
    int32_t currentTab;   // the tab control's current tab; -1 when there is no tab control
};

// Called at a job's end before the opt file is written; the window shell sets it to
// re-show the current page on the user-interface thread. Null: nothing.
extern void (*JobSwitchPage)(void);

// The whole job (parameter: a JobRequest): code 9; the mode flag; code 5 with an empty
// text; each fund in scope, in table order, analysed again (series 1 when the benchmark
// view is on and the fund has an index fund, else series 0 with its status text); the
// mode flag cleared; JobSwitchPage, the opt file (not with DataDirWritable clear), the
// status line; code 8. The funds are spread over the analysis threads like the load's,
// with the same messages, codes and results as one thread. A current-fund job whose
// tab leads to no displayed fund reports "Can't find displayed fund." and sends only
// code 8. Returns 0.
uint32_t RecalculationJob(void *parameter);

// The Validate job (parameter: a JobRequest; its mode and kind are not read): code 9;
// code 5 with an empty text; each fund in scope, in table order, validated (ValidateFund
// on series 0, after the status text "Validate: " with the category and name) on the
// analysis threads; the chart scales and ranks; JobSwitchPage; the "validate" cache (not
// with DataDirWritable clear); code 8. The current-fund scope as RecalculationJob's.
// Returns 0.
uint32_t ValidationJob(void *parameter);

#endif
