// The fund graph: one fund's price plot with its overlays, indicator bands and signal
// icons, and the per-fund plot geometry that the graph window reads back.
#ifndef VANTRY_FUNDGRAPH_H
#define VANTRY_FUNDGRAPH_H

#include <stdint.h>

#include "data/fund.h"
#include "graphics/surface.h"

// ---------------------------------------------------------------------------------------
// Plot geometry written by the painters. readoutX and readoutY live in the flags word
// (bits 0-10 and 11-21). plotTop, plotBottom (11 bits each) and overlayFactor have no
// field in the record yet: a table beside it, keyed by the record's address, keeps them
// for the funds painted since the last ClearGraphGeometry. The graph window converts
// mouse rows with plotTop/plotBottom; every repaint refreshes them.
#define FUND_READOUT_X_MASK 0x7FFu
#define FUND_READOUT_Y_SHIFT 11
#define FUND_READOUT_Y_MASK (0x7FFu << FUND_READOUT_Y_SHIFT)

static inline uint32_t FundReadoutX(const FundRecord *f) { return f->flags & 0x7FF; }
static inline uint32_t FundReadoutY(const FundRecord *f)
{
    return (f->flags >> FUND_READOUT_Y_SHIFT) & 0x7FF;
}
// Stores both readout coordinates, each cut to 11 bits (negative values become 0).
void SetFundReadout(FundRecord *f, int32_t x, int32_t y);

// plotTop and plotBottom of a fund, 0 for a fund not painted since ClearGraphGeometry.
uint32_t FundPlotTop(const FundRecord *f);
uint32_t FundPlotBottom(const FundRecord *f);
// Stores them, each cut to 11 bits (negative values become 0).
void SetFundPlotRows(FundRecord *f, int32_t plotTop, int32_t plotBottom);
// overlayFactor of a fund (1.0 until one is set).
double FundOverlayFactor(const FundRecord *f);
void SetFundOverlayFactor(FundRecord *f, double factor);
// Forgets every fund's plot rows and overlay factor (before a page is painted and when
// the data set goes away: records move when the fund table is sorted).
void ClearGraphGeometry(void);

// ---------------------------------------------------------------------------------------
// PaintFundGraph draws fund into left..right x top..bottom (inclusive; the frame lies on
// these edges) of the DrawSurface: the title line, the price plot scaled to 0..priceUnits
// on the logarithmic scale (linear with LinearScale; 0 units count as 1 on the
// logarithmic scale and put every value on the bottom row of the linear one), the bands
// the view state asks for, over the DatePeriods from..to (both 0: every point). series is
// 1 for the benchmark-relative series, else 0. text is scratch for the labels, at least
// FUND_GRAPH_TEXT_SIZE characters. Writes plotTop and plotBottom. Clips to the graph
// while it draws and leaves no clip set.
void PaintFundGraph(FundRecord *fund, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    uint32_t priceUnits, int32_t from, int32_t to, uint32_t series, char *text);

// The size of the text buffer the painters take.
#define FUND_GRAPH_TEXT_SIZE 512

// ---------------------------------------------------------------------------------------
// The conventions the overlaid graph shares with the fund graph.

// The bar colour (ColourIndex) of a category: its fund names and bars are drawn in it.
uint32_t GraphBarColour(uint32_t category);
// v truncated toward zero to a pixel offset; values far outside any surface (and NaN,
// which gives 0) are held at +-1e8 so that the conversion stays defined.
int32_t TruncPixel(double v);

// The value scale of a price plot: value 0 (linear) or 1/e and below (logarithmic) on
// bottomRow, units on span rows above it.
struct PriceScale {
    int32_t bottomRow;
    int32_t span;
    uint32_t units;
    uint32_t linear;     // LinearScale when the scale was set
    double logScale;     // span / (ln units + 1)
};
void SetPriceScale(PriceScale *ps, int32_t bottomRow, int32_t span, uint32_t units);
// The row of a value: bottomRow - LogPixel(v, logScale), or on the linear scale
// bottomRow - trunc(span * v / units) (0 rows for units 0).
int32_t PriceRow(const PriceScale *ps, double v);
// The value axes of the scale on both inner edges, at left + 1 and right - 1.
void DrawPriceAxes(int32_t left, int32_t right, const PriceScale *ps);

// The date mapping: x = x0 + (d - from) * width / range, x0 when range is 0. Periods
// before from map left of x0 by the same rule.
struct DateMapping {
    int32_t x0;
    uint32_t width;
    int32_t from;
    uint32_t range;
};
int32_t DateX(const DateMapping *dm, int32_t period);

// The packed date and DatePeriod of a point (0 for a point whose date is not in the table).
PackedDate PointPackedDate(const NavPoint *p);
int32_t PointPeriod(const NavPoint *p);
// "MM/DD/YY" of a point's date into text (at least 16 bytes).
void FormatPointDate(const NavPoint *p, char *text);

// Clips the DrawSurface to left..right-1 x top..bottom-1, and removes the clip; failures
// are reported with the names of the region calls ("CreateRectRgn", "SelectClipRgn",
// "DeleteObject") and drawing goes on.
void ClipToRectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
void RemoveClip(void);

// Text on the DrawSurface: its width, drawn left-aligned, drawn right-aligned to end at x
// (the alignment restored afterwards; a refused alignment is reported as "SetTextAlign").
uint32_t TextWidthOf(const char *text);
void DrawTextAt(int32_t x, int32_t y, const char *text, uint32_t colour);
void DrawTextRight(int32_t x, int32_t y, const char *text, uint32_t colour);

// The date axis along the bottom of a price plot whose bottom line is P: month ticks and
// letters, year labels with dashed lines, quarter dots. L is the top of the label area
// (2 * TextHeight + 5 rows high under 5 years in view, else TextHeight + 5). Where the
// mapping dm gives a year less room than a label and a blank, only the years divisible by
// 2, 5, 10, 20 or 50 (the first step that has the room) are labelled; every year keeps
// its dashed line.
struct DateAxis {
    uint32_t lastMonth, lastYear;
    int fewYears;
    int32_t yT, P, L;
    int32_t from;
    uint32_t yearStep;
};
void BeginDateAxis(DateAxis *da, const DateMapping *dm, int32_t from, int32_t to, int32_t yT,
                   int32_t plotBottom);
// The marks of a drawn point at x when its month or year differs from the last drawn
// point's (the first drawn point always counts as a new month). Returns 0 when nothing
// changed, 2 when a January began, 1 for any other new month.
int DateAxisMarks(DateAxis *da, const DateMapping *dm, const NavPoint *p, int32_t x);

#endif
