// The Update menu's sessions with the update server, on the worker thread.
#include "app/mainwnd.h"

#include <commdlg.h>
#include <stdint.h>
#include <string.h>

#include "platform/win32/win32.h"
#include "resource.h"
#include "update/ftp.h"

// "Find unzip program": the standard open-file dialog. It runs on the worker thread, modal
// for that thread and owned by the main window, which keeps painting meanwhile.
static int ChooseUnzipDialog(char *path, size_t size)
{
    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    path[0] = 0;
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Hwnd;
    dialog.lpstrFilter = "Program Files (*.EXE)\0*.EXE\0All Files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = (DWORD)size;
    dialog.lpstrInitialDir = "\\";
    dialog.lpstrTitle = "Find unzip program";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    dialog.lpstrDefExt = "EXE";
    return GetOpenFileNameA(&dialog) ? 1 : 0;
}

static unsigned __stdcall UpdateWorkerMain(void *parameter)
{
    int restart = UpdateThread((int)(intptr_t)parameter);
    // The data set is about to be replaced: nothing may be prepared on it meanwhile (a
    // page's benchmark refresh would refuse the Restart and write the old opt and Index
    // over the new ones).
    if (restart)
        RestartPending = 1;
    EndWorker();
    // Posted after the worker has cleared WorkerThread, so that the Restart command finds
    // the program idle.
    if (restart)
        PostMessageA(Hwnd, WM_COMMAND, IDM_RESTART, 0);
    return 0;
}

void StartUpdateJob(int full)
{
    UpdateChooseUnzipHook = ChooseUnzipDialog;
    StartWorker(UpdateWorkerMain, (void *)(intptr_t)(full ? 1 : 0));
}
