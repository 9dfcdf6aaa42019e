// The Default Benchmark dialog (template 125) and the About box.
#include "app/mainwnd.h"

#include <stdio.h>

#include "app/benchmarkchoice.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "platform/win32/win32.h"
#include "resource.h"

// Fills the list with "(None)" and the index funds, and selects the default benchmark.
static void OnInitDialog(HWND dialog)
{
    HWND box = GetDlgItem(dialog, IDC_BENCHMARK_CHOICE);
    SendMessageA(box, CB_RESETCONTENT, 0, 0);
    LRESULT added = SendMessageA(box, CB_ADDSTRING, 0, (LPARAM)BENCHMARK_NONE_ENTRY);
    if (added == CB_ERR || added == CB_ERRSPACE)
        ReportError("CB_ADDSTRING");
    for (uint32_t i = 0; i < FundCount; i++) {
        const FundRecord *f = &FundTable[i];
        if (FundCategory(f) != CATEGORY_INDEX || !f->name)
            continue;
        added = SendMessageA(box, CB_ADDSTRING, 0, (LPARAM)f->name);
        if (added == CB_ERR || added == CB_ERRSPACE)
            ReportError("CB_ADDSTRING");
    }
    int found;
    const FundRecord *index = DefaultBenchmarkEntry(&found);
    if (!found)
        return;
    LRESULT item = SendMessageA(box, CB_FINDSTRINGEXACT, (WPARAM)-1,
                                (LPARAM)(index ? index->name : BENCHMARK_NONE_ENTRY));
    if (item == CB_ERR) {
        ReportError("CB_FINDSTRINGEXACT");
        return;
    }
    if (SendMessageA(box, CB_SETCURSEL, (WPARAM)item, 0) == CB_ERR)
        ReportError("CB_SETCURSEL");
}

static void OnOk(HWND dialog)
{
    HWND box = GetDlgItem(dialog, IDC_BENCHMARK_CHOICE);
    LRESULT item = SendMessageA(box, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR) {
        ReportError("CB_GETCURSEL");
    } else {
        // An entry is a fund name (at most a line of the fund file) or "(None)".
        char text[1024];
        LRESULT length = SendMessageA(box, CB_GETLBTEXTLEN, (WPARAM)item, 0);
        if (length == CB_ERR || length >= (LRESULT)sizeof text ||
            SendMessageA(box, CB_GETLBTEXT, (WPARAM)item, (LPARAM)text) == CB_ERR)
            ReportError("CB_GETLBTEXT");
        else
            ChooseDefaultBenchmark(text);
    }
    EndDialog(dialog, IDOK);
}

static INT_PTR CALLBACK BenchmarkDialogFunc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnOk(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

void RunDefaultBenchmarkDialog(void)
{
    if (DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_DEFAULT_BENCHMARK), Hwnd,
                        BenchmarkDialogFunc, 0) == -1)
        ReportWin32("DialogBox");
}

void ShowAboutBox(void)
{
    char text[256];
    snprintf(text, sizeof text,
             "Mutual Fund Performance Analyzer.\n"
             "Copyright (c) 2026 the Vantry developers.\n"
             "\n"
             "%u bytes of dynamic memory used.\n",
             (unsigned)DynamicMemoryUsed);
    MessageBoxA(Hwnd, text, "Vantry", MB_OK);
}
