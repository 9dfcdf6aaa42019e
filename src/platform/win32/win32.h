// Win32-only globals of the platform layer that the window shell sets and uses.
#ifndef VANTRY_PLATFORM_WIN32_H
#define VANTRY_PLATFORM_WIN32_H

#include <windows.h>

// The main window: owner of every message box and target of the progress codes. Set only
// when creation of the main window has returned, so reports made during its creation
// message show ownerless boxes.
extern HWND Hwnd;
// The loaded WinSock module, whose message table holds the socket error texts; null
// until the main window's creation has loaded it.
extern HMODULE WinsockModule;
// The font in which PlatTextWidth measures (the main window's font); null means the
// stock GUI font.
extern HFONT MainFont;

// Window message that carries the progress codes (wParam) and code 5's text (lParam).
#define WM_VANTRY_PROGRESS 1024

#endif
