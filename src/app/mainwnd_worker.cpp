// The one worker thread: starting it, its common end, the benchmark refresh, and the
// progress codes the workers send to the main window.
#include "app/mainwnd.h"

#include <commctrl.h>
#include <errno.h>
#include <process.h>
#include <string.h>

#include "analysis/stats.h"
#include "app/jobs.h"
#include "app/loadworker.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/viewflags.h"
#include "graphics/graphpage.h"
#include "platform/platform.h"
#include "platform/win32/win32.h"
#include "resource.h"

// The code a benchmark refresh sends last, once its data is there: redraw the page.
#define PROGRESS_REDRAW_PAGE 10

HANDLE volatile WorkerThread;
volatile int BusyFlag;
volatile int GraphInputReady = 1;
HWND ProgressBar;

// A worker's last act: its handle closed and WorkerThread cleared, after which the
// user interface may start the next one.
void EndWorker(void)
{
    // Taken in one step: a close of the main window may be taking the handle to wait on.
    HANDLE self = (HANDLE)InterlockedExchangePointer((void *volatile *)&WorkerThread, nullptr);
    if (self)
        CloseHandle(self);
    if (Hwnd)
        PostMessageA(Hwnd, WM_VANTRY_WORKER_ENDED, 0, 0);
}

volatile int RestartPending;

int WorkerIsRunning(void)
{
    return WorkerThread != nullptr || RestartPending;
}

void OnWorkerEnded(void)
{
    // Another worker may have started before this message came (a benchmark refresh
    // redrawing its page); its own end brings the next one. A Restart on its way
    // reloads everything anyway.
    if (WorkerIsRunning() || !GraphPageDeferred)
        return;
    GraphPageDeferred = 0;
    SwitchPage();
}

static unsigned __stdcall LoadWorkerMain(void *)
{
    LoadThread(nullptr);
    EndWorker();
    return 0;
}

static unsigned __stdcall BenchmarkRefreshMain(void *parameter)
{
    const char *names = (const char *)parameter;
    PlatSendProgress(PROGRESS_BUSY_ON, nullptr);
    GraphInputReady = 0;
    for (const char *name = names; name && *name; name += strlen(name) + 1) {
        FundRecord *fund = nullptr;
        for (uint32_t i = 0; i < FundCount && !fund; i++)
            if (FundTable[i].name && strcmp(FundTable[i].name, name) == 0)
                fund = &FundTable[i];
        if (!fund) {
            char text[REPORT_BUFFER_SIZE];
            FormatText(text, sizeof text, "Can't find fund %s.", name);
            ReportInternal(text);
            continue;
        }
        RelateFund(fund);
    }
    WriteOptFile();
    GraphInputReady = 1;
    PlatSendProgress(PROGRESS_BUSY_OFF, nullptr);
    EndWorker();
    // Sent after the end: the redraw it asks for may start a worker of its own.
    PlatSendProgress(PROGRESS_REDRAW_PAGE, nullptr);
    return 0;
}

// The launch rule: the thread is made suspended and let go only once its handle is in
// WorkerThread, so that a worker which ends at once still finds the handle to clear.
void StartWorker(unsigned(__stdcall *main)(void *), void *argument)
{
    unsigned id;
    uintptr_t thread = _beginthreadex(nullptr, 0, main, argument, CREATE_SUSPENDED, &id);
    if (!thread) {
        ReportCrt("_beginthreadex");
        return;
    }
    WorkerThread = (HANDLE)thread;
    ResumeThread((HANDLE)thread);
}

void StartLoadWorker(void)
{
    StartWorker(LoadWorkerMain, nullptr);
}

// The running job's request: one job at a time.
static JobRequest CurrentJob;

static unsigned __stdcall RecalculationMain(void *parameter)
{
    RecalculationJob(parameter);
    EndWorker();
    return 0;
}

// SwitchPage on the user-interface thread, for a job's end.
static void SwitchPageFromWorker(void)
{
    SendMessageA(Hwnd, WM_VANTRY_SWITCH_PAGE, 0, 0);
}

void StartRecalculationJob(uint32_t mode, uint32_t scope, uint32_t kind)
{
    if (RefuseWhileWorkerRuns())
        return;
    CurrentJob.mode = mode;
    CurrentJob.scope = scope;
    CurrentJob.kind = kind;
    CurrentJob.currentTab = TabControl ? CurrentTab() : -1;
    JobSwitchPage = SwitchPageFromWorker;
    StartWorker(RecalculationMain, &CurrentJob);
}

static unsigned __stdcall ValidationMain(void *parameter)
{
    ValidationJob(parameter);
    EndWorker();
    return 0;
}

void StartValidationJob(uint32_t scope)
{
    if (RefuseWhileWorkerRuns())
        return;
    CurrentJob = JobRequest{};
    CurrentJob.scope = scope;
    CurrentJob.currentTab = TabControl ? CurrentTab() : -1;
    JobSwitchPage = SwitchPageFromWorker;
    StartWorker(ValidationMain, &CurrentJob);
}

int RefuseWhileWorkerRuns(void)
{
    if (!WorkerThread)
        return 0;
    ReportError("A thread is still running.");
    return 1;
}

// The job works on its own copy of the list: a page redrawn while it runs (a resize)
// may make a new BenchmarkList and free the one the job was started with.
static char RefreshNames[BENCHMARK_LIST_SIZE + 2];

int StartBenchmarkRefreshJob(const char *list)
{
    if (RefuseWhileWorkerRuns() || !list)
        return 0;
    // The list ends at its first empty name: a zero byte at its start or after another.
    size_t n = 0;
    while (n < BENCHMARK_LIST_SIZE && !(list[n] == 0 && (n == 0 || list[n - 1] == 0)))
        n++;
    memset(RefreshNames, 0, sizeof RefreshNames);
    memcpy(RefreshNames, list, n);
    StartWorker(BenchmarkRefreshMain, RefreshNames);
    return WorkerThread != nullptr;
}

// Closes the message boxes a worker thread shows: a box waits for its user, and the
// thread would reach no stop point.
static BOOL CALLBACK CloseThreadBox(HWND box, LPARAM)
{
    PostMessageA(box, WM_CLOSE, 0, 0);
    return TRUE;
}

// How long a close waits for a worker to reach its next stop point before it ends the
// worker outright.
#define WORKER_STOP_WAIT_MS 10000

void TerminateWorker(void)
{
    HANDLE thread = WorkerThread;
    if (!thread)
        return;
    SetCursor(NormalCursor);
    BusyFlag = 0;
    // A thread ended at an arbitrary point may hold a lock (the heap's, say) that the
    // program's own end then waits on for ever. So the worker is asked to stop and given
    // the time to reach a stop point (between funds and files, in a wait on the network
    // or on the unzip program); it ends there with nothing more written. One that is
    // still busy elsewhere when the time is up (a connect, say) is ended outright.
    PlatRequestStop();
    thread = (HANDLE)InterlockedExchangePointer((void *volatile *)&WorkerThread, nullptr);
    if (!thread)
        return;  // it ended on its own meanwhile
    DWORD id = GetThreadId(thread);
    uint64_t deadline = PlatMilliseconds() + WORKER_STOP_WAIT_MS;
    for (uint64_t now = PlatMilliseconds(); now < deadline;
         now = PlatMilliseconds()) {
        if (id)
            EnumThreadWindows(id, CloseThreadBox, 0);
        // The worker may be waiting on a progress message it sent; those are taken in
        // and dropped while the stop is under way.
        DWORD wait = deadline - now < 100 ? (DWORD)(deadline - now) : 100;
        DWORD got = MsgWaitForMultipleObjects(1, &thread, FALSE, wait, QS_SENDMESSAGE);
        if (got == WAIT_OBJECT_0)
            break;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0)
        TerminateThread(thread, 0);
    CloseHandle(thread);
}

// ---------------------------------------------------------------------------------------
// The progress codes.

static void SetProgressRange(void)
{
    SendMessageA(ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, (uint16_t)FundCount));
    SendMessageA(ProgressBar, PBM_SETSTEP, 1, 0);
}

static void CreateProgressBar(HWND hwnd)
{
    int32_t width = (ClientRect.right - ClientRect.left) / 3;
    int32_t height = ClientRect.bottom - ClientRect.top - (StatusRect.bottom - StatusRect.top);
    ProgressBar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_BORDER, width,
                                  height / 2, width, (int)LineHeight, hwnd,
                                  (HMENU)(INT_PTR)IDC_PROGRESS_BAR, Instance, nullptr);
    if (!ProgressBar) {
        ReportWin32("CreateWindow (progress bar)");
    } else {
        SetProgressRange();
    }
    InvalidateRect(hwnd, nullptr, TRUE);
}

void OnProgressMessage(HWND hwnd, WPARAM code, LPARAM text)
{
    switch (code) {
    case PROGRESS_BAR_CREATE:
        CreateProgressBar(hwnd);
        break;
    case PROGRESS_BAR_STEP:
        if (ProgressBar)
            SendMessageA(ProgressBar, PBM_STEPIT, 0, 0);
        break;
    case PROGRESS_BAR_RESET:
        if (ProgressBar) {
            SetProgressRange();
            SendMessageA(ProgressBar, PBM_SETPOS, 0, 0);
        }
        break;
    case PROGRESS_BAR_REMOVE:
        if (ProgressBar) {
            if (!DestroyWindow(ProgressBar))
                ReportWin32("DestroyWindow (progress bar)");
            ProgressBar = nullptr;
            // The title line goes with the bar.
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        break;
    case PROGRESS_STATUS_TEXT:
        if (StatusBar)
            SendMessageA(StatusBar, SB_SETTEXTA, 0, text ? text : (LPARAM) "");
        break;
    case PROGRESS_DATA_READY:
        BuildLayout(hwnd);
        break;
    case PROGRESS_BUSY_OFF:
        SetCursor(NormalCursor);
        BusyFlag = 0;
        break;
    case PROGRESS_BUSY_ON:
        SetCursor(BusyCursor);
        BusyFlag = 1;
        break;
    case PROGRESS_REDRAW_PAGE:
        SwitchPage();
        BuildStatusLine();
        break;
    }
}
