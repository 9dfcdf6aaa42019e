// File > Import CSV...: the dialog that names a price file (and optional dividend and split
// files) and the fund file to write or extend in the data directory.
#include "app/mainwnd.h"

#include <commdlg.h>
#include <string.h>

#include "base/errors.h"
#include "data/csvimport.h"
#include "data/fund.h"
#include "data/load.h"
#include "platform/win32/win32.h"
#include "resource.h"

// The first entry of the category list: a fund without a CATEGORY line.
static const char NoCategory[] = "(None)";

static void OnInitDialog(HWND dialog)
{
    HWND box = GetDlgItem(dialog, IDC_IMPORT_CATEGORY);
    SendMessageA(box, CB_ADDSTRING, 0, (LPARAM)NoCategory);
    for (uint32_t c = 1; c <= 14; c++)
        SendMessageA(box, CB_ADDSTRING, 0, (LPARAM)CategoryTable[c].name);
    SendMessageA(box, CB_SETCURSEL, 0, 0);
    // Daily data would fill the date table quickly; weekly is the program's usual density.
    CheckDlgButton(dialog, IDC_IMPORT_WEEKLY, BST_CHECKED);
}

// A control's text, cut to size bytes; blanks at both ends removed.
static void ControlText(HWND dialog, int id, char *text, int size)
{
    GetDlgItemTextA(dialog, id, text, size);
    size_t n = strlen(text), start = 0;
    while (n && text[n - 1] == ' ')
        text[--n] = 0;
    while (text[start] == ' ')
        start++;
    memmove(text, text + start, n - start + 1);
}

// The standard open-file dialog for a CSV file; its choice goes into the edit box id.
// Choosing the price file also fills the fund file and the name where they are empty.
static void Browse(HWND dialog, int id)
{
    char path[MAX_PATH];
    ControlText(dialog, id, path, sizeof path);
    OPENFILENAMEA choice;
    memset(&choice, 0, sizeof choice);
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.lpstrFilter = "CSV Files (*.CSV)\0*.CSV\0All Files (*.*)\0*.*\0";
    choice.nFilterIndex = 1;
    choice.lpstrFile = path;
    choice.nMaxFile = sizeof path;
    choice.lpstrTitle = id == IDC_IMPORT_PRICES ? "Price file" : "Dividend or split file";
    choice.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&choice))
        return;
    SetDlgItemTextA(dialog, id, path);
    if (id != IDC_IMPORT_PRICES)
        return;
    char stem[MAX_PATH], current[MAX_PATH];
    const char *base = path + choice.nFileOffset;
    size_t n = 0;
    while (base[n] && base[n] != '.' && n + 1 < sizeof stem) {
        stem[n] = base[n];
        n++;
    }
    stem[n] = 0;
    static const int emptyFields[2] = {IDC_IMPORT_FILE, IDC_IMPORT_NAME};
    for (int field : emptyFields) {
        ControlText(dialog, field, current, sizeof current);
        if (!current[0])
            SetDlgItemTextA(dialog, field, stem);
    }
}

// A fund file's short name: letters, digits and a few marks; nothing that leaves DataDir.
static int ValidShortName(const char *name)
{
    if (!name[0] || name[0] == '.')
        return 0;
    for (const char *p = name; *p; p++)
        if ((unsigned char)*p < 0x20 || strchr("\\/:*?\"<>|", *p))
            return 0;
    return 1;
}

// Runs the import. Returns 1 when the fund file was written.
static int OnOk(HWND dialog)
{
    static char prices[MAX_PATH], file[MAX_PATH], name[256], url[256], dividends[MAX_PATH],
        splits[MAX_PATH], category[64];
    ControlText(dialog, IDC_IMPORT_PRICES, prices, sizeof prices);
    ControlText(dialog, IDC_IMPORT_FILE, file, sizeof file);
    ControlText(dialog, IDC_IMPORT_NAME, name, sizeof name);
    ControlText(dialog, IDC_IMPORT_URL, url, sizeof url);
    ControlText(dialog, IDC_IMPORT_DIVIDENDS, dividends, sizeof dividends);
    ControlText(dialog, IDC_IMPORT_SPLITS, splits, sizeof splits);
    ControlText(dialog, IDC_IMPORT_CATEGORY, category, sizeof category);
    size_t n = strlen(file);
    if (n > 4 && CompareNoCase(file + n - 4, ".NAV") == 0)
        file[n - 4] = 0;
    if (!prices[0]) {
        ReportError("Choose the price file.");
        return 0;
    }
    char target[DATA_PATH_SIZE], fileName[MAX_PATH + 8];
    FormatText(fileName, sizeof fileName, "%s.NAV", file);
    if (!ValidShortName(file) || !DataPath(fileName, target)) {
        ReportError("Enter the fund file's name: letters and digits, without a folder.");
        return 0;
    }
    CsvImportOptions options = {};
    options.name = name[0] ? name : nullptr;
    options.url = url[0] ? url : nullptr;
    options.category = strcmp(category, NoCategory) != 0 && category[0] ? category : nullptr;
    options.dividends = dividends[0] ? dividends : nullptr;
    options.splits = splits[0] ? splits : nullptr;
    options.weekly = IsDlgButtonChecked(dialog, IDC_IMPORT_WEEKLY) == BST_CHECKED;
    return ImportCsv(prices, target, &options, nullptr) == IMPORT_WRITTEN;
}

static INT_PTR CALLBACK ImportDialogFunc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            // A failed import keeps the dialog open, so that the user can mend a field.
            if (OnOk(dialog))
                EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_IMPORT_PRICES_BROWSE: Browse(dialog, IDC_IMPORT_PRICES); return TRUE;
        case IDC_IMPORT_DIVIDENDS_BROWSE: Browse(dialog, IDC_IMPORT_DIVIDENDS); return TRUE;
        case IDC_IMPORT_SPLITS_BROWSE: Browse(dialog, IDC_IMPORT_SPLITS); return TRUE;
        }
        break;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

int RunImportCsvDialog(void)
{
    INT_PTR result = DialogBoxParamA(Instance, MAKEINTRESOURCEA(IDD_IMPORT_CSV), Hwnd,
                                     ImportDialogFunc, 0);
    if (result == -1)
        ReportWin32("DialogBox (Import CSV)");
    return result == IDOK;
}
