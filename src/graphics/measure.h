// The graph window's measuring line and fund stepping, in the parts that are arithmetic:
// the date and value under a pointer position, the measurement's result line, the fund
// under the pointer and the fund a stepping key moves to. The window procedure
// (wnd_graph.cpp) does the drawing.
#ifndef VANTRY_MEASURE_H
#define VANTRY_MEASURE_H

#include <stddef.h>
#include <stdint.h>

#include "data/fund.h"

// The horizontal limits of the price plots in graph-window pixels: left = 3 * CharWidth
// + 2, right = graph width - (3 * CharWidth + 3). Set by the window layout.
extern int32_t PlotLeft, PlotRight;

// The fund the readout belongs to (null when none).
extern FundRecord *MeasuredFund;

// The readout's three lines.
#define READOUT_LINE_SIZE 41
extern char ReadoutLine[3][READOUT_LINE_SIZE];

// The DatePeriod under x, from the PaintedRange: from + (x - left) * R / (right - left),
// R = to - from, or to - from + 5 when MeasuredFund has points, a moving-average, MACD,
// ROC or band overlay is on and its last point lies within the range (the room the graph
// leaves for projections). Writes "mm/dd/yy" into text (at least READOUT_LINE_SIZE).
// The caller has made sure that the plot limits differ.
int32_t DoDate(char *text, int32_t x);
// Appends "=$" and the value under window row y to text (READOUT_LINE_SIZE in all):
// the inverse of the fund's price axis between its plotTop and plotBottom, truncated to
// whole hundredths; 0 without MeasuredFund or plot height. Returns the value.
double ValueAtRow(char *text, int32_t y);
// The result of a measurement from (ds, vs) to (de, ve): the percent change when both
// lie in one DatePeriod, else the annualized return from the earlier to the later point.
double MeasuredReturn(int32_t ds, double vs, int32_t de, double ve);
// "Result=%.1f%%", or "Result=(%.1f)%%" with the magnitude of a negative result.
void FormatResultLine(char *text, size_t size, double result);

// The fund whose price plot lies under (x, y) of the graph window shown on tab (3 and
// up): x within the plot limits; in combined mode the first displayed fund whose plotTop
// <= y <= plotBottom, else the tab's fund when y lies within its plot. Null otherwise.
FundRecord *FundUnderPointer(int32_t x, int32_t y, int32_t tab);
// The n-th displayed fund in table order (n from 0), or null.
FundRecord *NthDisplayedFund(uint32_t n);

// The stepping keys.
enum StepKey { STEP_PAGE_UP, STEP_PAGE_DOWN, STEP_END, STEP_HOME, STEP_BACK, STEP_FORWARD };
// The fund table index a key moves the fund at index to, or -1 when it cannot move
// (the key then only beeps): Page Up 10 back (to 0 from 10 or less), Page Down 10 on (at
// most the last), End the last, Home the first, Back and Forward one; -1 at the end of
// the table in the key's direction.
int32_t StepTargetIndex(uint32_t index, uint32_t count, uint32_t key);

#endif
