// vantry-report's pictures: a graph page or the Funds page's list and legend, drawn by the
// program's own painters into a raster and written as a PNG file.
#ifndef VANTRY_REPORT_PNG_H
#define VANTRY_REPORT_PNG_H

#include <stdint.h>

#include <vector>

struct PngOptions {
    const char *path = nullptr;           // --png FILE; null: no picture
    std::vector<const char *> graphs;     // --graph SHORTNAME, in the order given
    bool combined = false;                // --combined: one "Graphs" page of them all
    bool fundList = false;                // --fund-list: the Funds page instead
    uint32_t width = 1000, height = 700;  // --size WxH
    const char *resources = nullptr;      // --resources DIR; null: the repository's
    const char *font = nullptr;           // --font FILE; null: DejaVu Sans
};

// Before the load: the font (so that MaxNameWidth is measured in it) and the bitmaps.
// Returns 1, or 0 after printing why on standard error.
int StartPngDrawing(const PngOptions &o);
// After the load and the view overrides: marks the --graph funds displayed and draws the
// page into a raster of width x height, then writes it. Returns the exit status: 0 when
// the file was written, 1 when a --graph name is not a fund or the page could not be
// drawn or written (no file is left under the path then).
int RenderPng(const PngOptions &o);
// Frees the raster's font and bitmaps.
void EndPngDrawing(void);

#endif
