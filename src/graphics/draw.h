// The drawing primitives, the palette and the value axes that every painter is made of.
#ifndef VANTRY_DRAW_H
#define VANTRY_DRAW_H

#include "graphics/surface.h"

#define PALETTE_SIZE 15
// Colour sets: [0] for displays of 16 bits per pixel or more, [1] for fewer.
extern const RgbColour PaletteSets[2][PALETTE_SIZE];
// 1 while the first colour set is in force (starts set; cleared at window creation when
// the display has fewer than 16 bits per pixel).
extern uint32_t FullColourDisplay;
// Palette entry colourIndex (0..14) of the set in force.
RgbColour PaletteColour(uint32_t colourIndex);

void DrawLine(DrawTarget *t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);
void FillBox(DrawTarget *t, int32_t left, int32_t top, int32_t right, int32_t bottom,
             uint32_t colour);
void DrawDot(DrawTarget *t, int32_t x, int32_t y, uint32_t colour);
void TickUp(int32_t x, int32_t y, uint32_t n, uint32_t colour);
void TickRight(int32_t x, int32_t y, uint32_t n, uint32_t colour);
void TickLeft(int32_t x, int32_t y, uint32_t n, uint32_t colour);
void FrameBox(int32_t left, int32_t top, int32_t right, int32_t bottom);
void DrawText(DrawTarget *t, int32_t x, int32_t y, const char *text, uint32_t length,
              uint32_t colour);
int32_t LogPixel(double value, double scale);
// direction 1: values grow upward from y0; 0: downward.
void LinearAxisLeft(int32_t x, int32_t y0, uint32_t span, uint32_t count, uint32_t direction);
void LinearAxisRight(int32_t x, int32_t y0, uint32_t span, uint32_t count, uint32_t direction);
void LogAxisLeft(int32_t x, int32_t y0, uint32_t span, uint32_t count);
void LogAxisRight(int32_t x, int32_t y0, uint32_t span, uint32_t count);

#endif
