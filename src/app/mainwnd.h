// The main window of the Windows program: its globals, and the functions of its message
// groups (creation and teardown, layout and pages, commands, workers and progress).
#ifndef VANTRY_MAINWND_H
#define VANTRY_MAINWND_H

#include <windows.h>
#include <stdint.h>

#include "app/helptext.h"
#include "data/fund.h"
#include "graphics/surface.h"

// ---------------------------------------------------------------------------------------
// Set up by the entry point and the creation of the main window (winmain.cpp,
// mainwnd_create.cpp); read by everything else on the user-interface thread.

extern HINSTANCE Instance;
extern HCURSOR NormalCursor;          // the standard arrow
extern HCURSOR BusyCursor;            // the arrow with the hourglass
extern HBRUSH LightGrayBrush;         // class background and owner-drawn tab fill

// The full-screen memory contexts. BackBufferDc holds the graph picture that the graph
// window copies to the screen and the printer reads; BackBuffer is the drawing target
// over it that the painters are handed.
extern HDC BackBufferDc;
extern DrawTarget BackBuffer;
extern HDC BlackBufferDc;
extern HDC SpareBufferDc;             // only when the back buffer is not a raster display
extern int32_t FullScreenWidth, FullScreenHeight;

extern uint32_t ListRowHeight;        // the larger of the text and bitmaps 106 and 110
extern int32_t ScrollBarWidth, BorderWidth, BorderHeight;
extern RECT ClientRect;               // the main window's client area, after every resize
extern uint32_t LegendWidth;          // widest category name 1 to 15
extern int WinsockReady;              // WinSock 1.1 started at creation

// The main window's children; each is null while it does not exist.
extern HWND StatusBar;
extern RECT StatusRect;               // in client coordinates
extern HWND ProgressBar;
extern HWND TabControl;
extern HWND FundList;
extern HWND LegendWindow;
extern HWND GraphWindow;
extern HWND LeftArrows, RightArrows, TopArrows;
extern HWND KeyHelpList;
extern HWND ManualList;

// Layout values (client coordinates), set when the layout is built and on every resize.
extern RECT PageArea;
extern int32_t TabStripHeight;
extern RECT GraphRect;                // the graph window's rectangle; printing reads it
extern int32_t PlotLeft, PlotRight;   // the graph's plot limits, read by the graph window

extern HelpText KeyHelpText;          // KEYHELP
extern HelpText ManualText;           // README

// A probe for the test harness, answered with one figure of the running program:
// wParam PROBE_GDI_OBJECTS and PROBE_USER_OBJECTS the process's GDI and USER objects
// (GetGuiResources; 0 under Wine, which does not count them), PROBE_MEMORY
// DynamicMemoryUsed, PROBE_WORKER 1 while a worker runs, PROBE_FUNDS FundCount, and the
// graph window's zoom selection and measuring state below.
#define WM_VANTRY_PROBE (WM_APP + 1)
// Sent by a recalculation job at its end: SwitchPage on the user-interface thread.
#define WM_VANTRY_SWITCH_PAGE (WM_APP + 2)
// Posted by every worker once WorkerThread is clear: a graph page drawn while it ran is
// prepared again, now with the benchmark steps it had to leave out.
#define WM_VANTRY_WORKER_ENDED (WM_APP + 3)
enum ProbeFigure {
    PROBE_GDI_OBJECTS = 0,
    PROBE_USER_OBJECTS = 1,
    PROBE_MEMORY = 2,
    PROBE_WORKER = 3,
    PROBE_FUNDS = 4,
    PROBE_ZOOM_FROM = 5,        // the zoom selection's DatePeriods
    PROBE_ZOOM_TO = 6,
    PROBE_ZOOM_MAX = 7,         // its value maximum in thousandths
    PROBE_DATA_SPAN_START = 8,  // the DataSpan the arrows keep to
    PROBE_DATA_SPAN_END = 9,
    PROBE_MEASURE_STATE = 10,   // MeasureState
    PROBE_LINE_HEIGHT = 11      // LineHeight: the legend's and the readout's line pitch
};

// ---------------------------------------------------------------------------------------
// Workers (mainwnd_worker.cpp).

// The one running worker, null when idle. Set here when a worker starts; the worker
// closes and clears it as its last act.
extern HANDLE volatile WorkerThread;
extern volatile int BusyFlag;         // the busy cursor is shown
extern volatile int GraphInputReady;  // cleared while a benchmark refresh runs

// Starts the load worker (no test of WorkerThread: the callers have made sure).
// "_beginthreadex" through ReportCrt when it cannot start.
void StartLoadWorker(void);
// 1 and "A thread is still running." when a worker runs; 0 when the program is idle.
int RefuseWhileWorkerRuns(void);
// Set by the update worker when its Restart follows; the Restart clears it.
extern volatile int RestartPending;
// 1 while a worker runs or a Restart is on its way (graphics/graphpage.h's WorkerRunning).
int WorkerIsRunning(void);
// After a worker: the current page again when one was drawn while it ran.
void OnWorkerEnded(void);
// The benchmark refresh starter that graph pages call (graphics/graphpage.h): starts
// the worker over list, the BenchmarkList the page made. Refuses while a worker runs.
// Returns 1 when the worker started.
int StartBenchmarkRefreshJob(const char *list);
// The progress message: codes 1 to 10, text for code 5.
void OnProgressMessage(HWND hwnd, WPARAM code, LPARAM text);
// Ends a running worker (closing the main window) without a question, at its next stop
// point (PlatStopPoint), or outright when it reaches none within ten seconds; nothing
// more is saved.
void TerminateWorker(void);
// Starts main(argument) as the worker thread: made suspended and let go once its handle
// is in WorkerThread. "_beginthreadex" through ReportCrt when it cannot start.
void StartWorker(unsigned(__stdcall *main)(void *), void *argument);
// A worker's last act: its handle closed and WorkerThread cleared, then
// WM_VANTRY_WORKER_ENDED posted to the main window.
void EndWorker(void);

// ---------------------------------------------------------------------------------------
// The update session (mainwnd_update.cpp): the Update menu's incremental (0) or full (1)
// update on the worker thread; the caller has checked WinSock and the worker.
void StartUpdateJob(int full);

// ---------------------------------------------------------------------------------------
// The small dialogs (dlg_benchmark.cpp): the Default Benchmark dialog, modal to the main
// window, and the About box with the dynamic memory in use.
void RunDefaultBenchmarkDialog(void);
void ShowAboutBox(void);
// File > Import CSV... (dlg_import.cpp): returns 1 when a fund file was written or
// extended, and the data set is to be loaded again.
int RunImportCsvDialog(void);

// ---------------------------------------------------------------------------------------
// Printing (print.cpp): "Print Fund Graph" of the graph window's picture; the caller has
// checked that the graph window has the focus.
void PrintFundGraph(void);

// ---------------------------------------------------------------------------------------
// Creation and teardown (mainwnd_create.cpp).

void OnCreateMainWindow(HWND hwnd);
void OnCloseMainWindow(HWND hwnd);

// ---------------------------------------------------------------------------------------
// Layout and pages (mainwnd_layout.cpp).

// The working layout after the first load (progress code 6).
void BuildLayout(HWND hwnd);
// The size message: W and H are the new client width and height.
void OnSize(HWND hwnd, WPARAM kind, int32_t width, int32_t height);
// Destroys the layout's windows, each when it exists, in the teardown order, with the
// teardown's failure texts, and clears their handles. The status bar stays.
void DestroyLayoutWindows(void);
// Frees KEYHELP and README with their line tables.
void FreeHelpTexts(void);
// Notifications of the tab control: selection changing and changed.
void OnTabChanging(void);
void OnTabChanged(void);
// Disables and hides the windows of a tab's page.
void HidePage(int32_t tab);
// Tab n through the changing and changed notifications, so the old page is hidden and
// the new one shown.
void GoToTab(int32_t tab);
// The current tab, -1 when there is no tab control.
int32_t CurrentTab(void);
// The focus rule of activation: the current page's main window gets the focus.
void FocusCurrentPage(void);
void OnMeasureItem(HWND hwnd, MEASUREITEMSTRUCT *item);
void OnDrawItem(HWND hwnd, const DRAWITEMSTRUCT *item);

// ---------------------------------------------------------------------------------------
// Commands (mainwnd_commands.cpp).

// WM_COMMAND with the before and after steps; returns 0 when the command was handled,
// or the default procedure's answer for ids that have no entry.
LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);
// Redraws the current page by hiding it and showing it again.
void SwitchPage(void);
// Starts a recalculation job (JobMode, JobScope, the kind of a change job) on the worker
// thread, with the current tab for a current-fund job; "A thread is still running."
// while a worker runs.
void StartRecalculationJob(uint32_t mode, uint32_t scope, uint32_t kind);
// The Validate job on the worker thread for the scope (refused while a worker runs).
void StartValidationJob(uint32_t scope);
// Deletes the graph tabs and inserts them again for the displayed funds.
void RebuildGraphTabs(void);
// The n-th displayed fund in table order (n from 0), or null.
FundRecord *DisplayedFund(uint32_t n);
// Inserts a tab at index with text (every "&" doubled) and the colour word.
void InsertTab(int32_t index, const char *text, uint32_t colour);
// Re-syncs the fund list's selection and the graph tabs with the fund table after a
// reordering (SortFunds' re-sync hook).
void ResyncFundList(void);

// ---------------------------------------------------------------------------------------
// The child window classes (src/graphics/wnd_*.cpp).

LRESULT CALLBACK MainWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK GraphWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK LegendWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ArrowWinFunc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The graph window's measuring line: 0 idle, 1 measuring, 2 frozen.
extern uint32_t MeasureState;
// The graph window's private message; code 7 in wParam cancels its interaction.
#define GRAPH_MESSAGE (WM_USER)
#define GRAPH_CANCEL 7

// After the graph page was drawn anew into the back buffer (drawn 0 when only its
// background was): the readout and rubber line are no longer on it; a frozen measurement
// of a fund still on the drawn page is shown again, on any other page it ends.
void GraphPageRedrawn(int drawn);
// A fund that stops being shown keeps its overlay colour aside for when it comes back.
void StopDisplaying(FundRecord *f);

// Cancels a pending measuring line of the graph window unless it is frozen (state 2),
// through the graph window's cancel message, and sets the state to 0.
void CancelGraphInteraction(void);

#endif
