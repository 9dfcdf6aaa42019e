// The Windows drawing surface: the Surface* operations on a GDI device context, the
// palette's pens and brushes, and the resource bitmaps in their memory contexts.
#ifndef VANTRY_GDI_SURFACE_H
#define VANTRY_GDI_SURFACE_H

#include <stdint.h>

#include "graphics/draw.h"

// The drawing objects, made once at window creation from the colour set in force
// (FullColourDisplay must be settled first): one solid pen of width 1 and one solid
// brush per palette entry, and the stock hollow brush and null pen. Also installs the
// GDI operations (GdiSurfaceOps), so every SURFACE_GDI target draws from then on.
// Stops at the first object that cannot be made and returns 0, leaving in
// GdiFailedCall "CreatePen" or "CreateSolidBrush" for the caller's ReportWin32 (the
// thread's last error still tells why); returns 1 when all were made.
int CreateDrawObjects(void);
extern const char *GdiFailedCall;
// Deletes the pens and brushes (never while one is selected into a context). A failed
// deletion is reported "DeleteObject".
void DeleteDrawObjects(void);
// Installs the GDI operations alone, for a program that makes its own pens: without the
// palette's objects each line or box creates and deletes a pen or brush of its own.
void InstallGdiSurface(void);

// The palette's objects (HPEN / HBRUSH), null where not made.
extern void *GdiPens[PALETTE_SIZE];
extern void *GdiBrushes[PALETTE_SIZE];
extern void *GdiHollowBrush;
extern void *GdiNullPen;

// Loads the 22 bitmap resources of the module instance (an HINSTANCE) in slot order
// (BitmapResourceIds); each Bitmaps[slot].dc must already be a memory context, made
// compatible with the window's. At the first bitmap that cannot be loaded it reports
// "LoadBitmap" and loads no more. Selects each into its context ("SelectObject main 1")
// and reads its size ("GetObject"). Returns the number loaded.
uint32_t GdiLoadBitmaps(void *instance);
// Selects the contexts' previous bitmaps back ("SelectObject main 4") and deletes the
// bitmaps ("DeleteObject"); the contexts themselves stay for their owner to delete.
void GdiFreeBitmaps(void);

// A bitmap of width x height (an HBITMAP) for drawing off screen and copying to a window
// whose context is dc: on a display of 24 bits a pixel or more, a 32-bit DIB section
// (the same colours, and the graph pages' held lines write its pixels in place; four at
// most at a time); else a bitmap compatible with dc. Null when neither can be made (the
// thread's last error tells why). DeleteBackBitmap deletes it (1, or 0 when DeleteObject
// failed).
void *CreateBackBitmap(void *dc, int32_t width, int32_t height);
int DeleteBackBitmap(void *bitmap);

// Makes target a GDI target on the device context dc (an HDC), its record in step with
// the context: left/top alignment, black text, opaque text cells in white, copy mode,
// no clip. Returns 1, or 0 when the context refused one of the settings.
int InitGdiTarget(DrawTarget *target, void *dc);

#endif
