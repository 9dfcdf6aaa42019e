// The view state: its globals (declared in data/viewflags.h so that the data and
// analysis layers can read them), the chart names and the status line.
#ifndef VANTRY_VIEWSTATE_H
#define VANTRY_VIEWSTATE_H

#include <stdint.h>

#include "data/viewflags.h"

// The chart's name as the status line shows it ("None", "YTD Return", ... "Sharpe
// Ratio"); "" for a code outside 0-14.
const char *ChartName(uint32_t kind);

// The last status line built. The longest combination of tags fits with room to spare.
#define STATUS_LINE_SIZE 256
extern char StatusLine[STATUS_LINE_SIZE];

// Builds StatusLine from the current view state and sends it as progress code 5 (the
// status bar's text; without a main window it goes nowhere). Returns StatusLine.
const char *BuildStatusLine(void);

// Restores every view-state global to its default, empties DefaultBenchmark and unsets
// UnzipProgram (freeing its block).
void ResetViewState(void);

#endif
