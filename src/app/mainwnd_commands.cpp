// The commands of the menu, the accelerators and the fund list, with the steps that run
// before and after every one of them.
#include "app/mainwnd.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#include "analysis/ranking.h"
#include "analysis/stats.h"
#include "app/jobs.h"
#include "app/statexport.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/load.h"
#include "data/optfile.h"
#include "data/sidefiles.h"
#include "data/viewflags.h"
#include "graphics/fundgraph.h"
#include "graphics/graphpage.h"
#include "graphics/zoom.h"
#include "platform/win32/win32.h"
#include "resource.h"

// What a command asks of the after-command steps.
struct CommandResult {
    int redraw;
    int settingsChanged;
};

// ---------------------------------------------------------------------------------------
// Funds and tabs.

static int IsDisplayed(const FundRecord *f)
{
    return (f->flags & FUND_DISPLAYED) != 0;
}

void StopDisplaying(FundRecord *f)
{
    f->flags &= ~FUND_DISPLAYED;
    uint32_t colour = (f->flags & FUND_OVERLAY_MASK) >> FUND_OVERLAY_SHIFT;
    if (colour) {
        f->savedOverlayColour = (f->savedOverlayColour & ~0xFu) | colour;
        f->flags &= ~FUND_OVERLAY_MASK;
    }
}

FundRecord *DisplayedFund(uint32_t n)
{
    for (uint32_t i = 0; i < FundCount; i++)
        if (IsDisplayed(&FundTable[i]) && n-- == 0)
            return &FundTable[i];
    return nullptr;
}

static uint32_t TabColourOf(const FundRecord *f)
{
    return CategoryTable[FundCategory(f)].attribute;
}

static int32_t TabCount(void)
{
    return TabControl ? (int32_t)SendMessageA(TabControl, TCM_GETITEMCOUNT, 0, 0) : 0;
}

static void DeleteGraphTabs(void)
{
    for (int32_t i = TabCount() - 1; i >= 3; i--)
        if (!SendMessageA(TabControl, TCM_DELETEITEM, (WPARAM)i, 0))
            ReportWin32("TCM_DELETEITEM");
}

static int32_t SelectedCount(void)
{
    if (!FundList)
        return 0;
    LRESULT n = SendMessageA(FundList, LB_GETSELCOUNT, 0, 0);
    return n == LB_ERR ? 0 : (int32_t)n;
}

void RebuildGraphTabs(void)
{
    if (!TabControl)
        return;
    int32_t remembered = CurrentTab();
    DeleteGraphTabs();
    if (!CombinedGraphs) {
        int32_t index = 3;
        for (uint32_t i = 0; i < FundCount; i++)
            if (IsDisplayed(&FundTable[i]))
                InsertTab(index++, FundTable[i].name, TabColourOf(&FundTable[i]));
    } else if (SelectedCount() > 0) {
        InsertTab(3, "Graphs", 1);
    }
    int32_t count = TabCount();
    int32_t tab = remembered >= 0 && remembered < count ? remembered : (count < 4 ? 0 : 3);
    SendMessageA(TabControl, TCM_SETCURSEL, (WPARAM)tab, 0);
    // A tab that had to move to another page takes that page's windows with it.
    if (tab != remembered) {
        HidePage(remembered);
        OnTabChanged();
    }
}

void SwitchPage(void)
{
    if (!TabControl)
        return;
    OnTabChanging();
    OnTabChanged();
}

// The fund list's selection made the displayed funds again.
static void SelectDisplayedFunds(void)
{
    for (uint32_t i = 0; i < FundCount; i++)
        SendMessageA(FundList, LB_SETSEL, IsDisplayed(&FundTable[i]) ? TRUE : FALSE, (LPARAM)i);
    InvalidateRect(FundList, nullptr, TRUE);
}

void ResyncFundList(void)
{
    if (!FundList)
        return;
    SelectDisplayedFunds();
    RebuildGraphTabs();
}

// The page's fund of the current graph tab in single mode.
static FundRecord *PageFund(void)
{
    int32_t tab = CurrentTab();
    return tab >= 3 ? DisplayedFund((uint32_t)(tab - 3)) : nullptr;
}

// ---------------------------------------------------------------------------------------
// The zoom selection's value maximum follows the overlay when one is fixed.

static void RecomputeZoomMaximum(void)
{
    int32_t tab = CurrentTab();
    if (ZoomSelectionMax == 0.0 || tab < 3)
        return;
    if (!CombinedGraphs) {
        FundRecord *f = PageFund();
        if (!f)
            return;
        double m = FundValueMaximum(f);
        // With the bands the band maximum counts only when it would raise the scale.
        if (!ShowBollinger || m > ZoomSelectionMax)
            ZoomSelectionMax = m;
        return;
    }
    for (uint32_t i = 0; i < FundCount; i++) {
        double m = IsDisplayed(&FundTable[i]) ? FundValueMaximum(&FundTable[i]) : 0.0;
        if (m > ZoomSelectionMax)
            ZoomSelectionMax = m;
    }
}

static void ClearZoomSelection(void)
{
    ZoomSelectionFrom = 0;
    ZoomSelectionTo = 0;
    ZoomSelectionMax = 0.0;
    DataSpanStart = 0;
    DataSpanEnd = 0;
}

// ---------------------------------------------------------------------------------------
// The commands.

static void ChartToggle(uint32_t chart, CommandResult *r)
{
    ChartKind = ChartKind == chart ? (uint32_t)CHART_NONE : chart;
    SortFunds();
    r->redraw = r->settingsChanged = 1;
}

// Turning on one of the four overlays turns the other three off.
static void ToggleOverlay(uint8_t *flag, CommandResult *r)
{
    *flag = !*flag;
    if (*flag) {
        uint8_t *all[4] = {&ShowMovingAverage, &ShowMacd, &ShowRoc, &ShowBollinger};
        for (uint8_t *other : all)
            if (other != flag)
                *other = 0;
    }
    RecomputeZoomMaximum();
    SortFunds();
    r->redraw = r->settingsChanged = 1;
}

static const char *const MaCaptions[6] = {"", "Change to UMA", "Change to WMA", "Change to EMA",
                                          "Change to AMA", "Change to VIDYA"};

// A recalculation job after its confirmation box, which also decides the scope: all
// funds from the fixed pages, else the displayed funds (combined) or the page's fund.
// Nothing when the user cancels.
static void AskAndStartJob(uint32_t mode, uint32_t kind, const char *allText,
                           const char *displayedText, const char *caption)
{
    int allFunds = CurrentTab() < 3;
    if (MessageBoxA(Hwnd, allFunds ? allText : displayedText, caption, MB_OKCANCEL) != IDOK)
        return;
    uint32_t scope = allFunds ? JOB_ALL_FUNDS
                              : CombinedGraphs ? JOB_DISPLAYED_FUNDS : JOB_CURRENT_FUND;
    StartRecalculationJob(mode, scope, kind);
}

// The Validate job of the command's scope after its confirmation box.
static void AskAndValidate(UINT id)
{
    static const char *const texts[3] = {"Validate the optimal values of *ALL* funds",
                                         "Validate the optimal values of the displayed fund(s)",
                                         "Validate the optimal values of the current fund"};
    uint32_t scope = id == IDM_VALIDATE_ALL ? JOB_ALL_FUNDS
                     : id == IDM_VALIDATE_DISPLAYED ? JOB_DISPLAYED_FUNDS : JOB_CURRENT_FUND;
    if (MessageBoxA(Hwnd, texts[scope], "Confirm", MB_OKCANCEL) == IDOK)
        StartValidationJob(scope);
}

static void OpenWebPage(void)
{
    if (!TabControl || CurrentTab() < 3) {
        ReportError("no graph being displayed");
        return;
    }
    if (CombinedGraphs) {
        ReportError("You must be viewing a single fund graph to see the web page.");
        return;
    }
    FundRecord *f = PageFund();
    if (!f) {
        ReportInternal("Can't find displayed fund.");
        return;
    }
    if (!f->url) {
        ReportError("This fund has no web page.");
        return;
    }
    HINSTANCE result = ShellExecuteA(nullptr, nullptr, f->url, nullptr, nullptr, SW_SHOWNORMAL);
    if ((uintptr_t)result <= 32) {
        char text[REPORT_BUFFER_SIZE];
        FormatText(text, sizeof text, "ShellExecute(%s)=%u", f->url, (unsigned)(uintptr_t)result);
        ReportWin32(text);
    }
}

static void SelectFund(HWND focus, int32_t tab)
{
    if (tab != 0 || !FundList || focus != FundList)
        return;
    LRESULT caret = SendMessageA(FundList, LB_GETCARETINDEX, 0, 0);
    if (FundCount == 0 || caret < 0 || (uint32_t)caret >= FundCount)
        return;
    FundTable[caret].flags ^= FUND_IN_PORTFOLIO;
    WritePortfolioFile();
    if (GroupMode)
        SortFunds();
    InvalidateRect(FundList, nullptr, TRUE);
}

static void ResetBenchmark(void)
{
    if (CurrentTab() < 3) {
        ReportError("No funds are displayed.");
        return;
    }
    FundRecord *only = nullptr;
    if (!CombinedGraphs && !(only = PageFund())) {
        ReportInternal("Can't find displayed fund.");
        return;
    }
    int changed = 0;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        if (only ? f != only : !IsDisplayed(f))
            continue;
        if (f->indexName) {
            FreeBlock(f->indexName);
            f->indexName = nullptr;
            changed = 1;
        }
        FreeSeriesOneArrays(f);
        MaSettings *s = &f->maSettings[1];
        s->maKind = MA_NONE;
        SetMaParam(s, UMA_LENGTH, 0);
        SetMaParam(s, WMA_LENGTH, 0);
        SetMaParam(s, AMA_LENGTH, 0);
        SetMaParam(s, VIDYA_LENGTH, 0);
        SetMaParam(s, EMA_PERCENT, 0);
    }
    if (changed) {
        OptimizedFlag = 1;
        WriteOptFile();
        WriteIndexFile();
    }
}

static void StartUpdate(int mode)
{
    if (!WinsockReady) {
        ReportError("No TCP/IP connection.");
        return;
    }
    StartUpdateJob(mode);
}

static void Restart(void)
{
    RestartPending = 0;
    DestroyLayoutWindows();
    FreeHelpTexts();
    FreeBenchmarkList();
    FreeDataSet();
    FreeOptTable();
    // DynamicMemoryUsed is not zeroed: every block freed above has taken its size off
    // already, and the blocks that survive a restart (the unzip program's path) would
    // otherwise take theirs off a zero count when they go, wrapping it round.
    MaxNameWidth = 0;
    ResetChartScaleExtremes();
    ClearGraphGeometry();
    // Even a frozen measurement ends: its fund and page go with the data set.
    MeasureState = 0;
    ClearZoomSelection();
    StartLoadWorker();
}

// File > Export Statistics...: the save dialog, in the data directory with the export's
// file name, then the CSV of every fund and series.
static void ExportStatistics(void)
{
    char path[DATA_PATH_SIZE];
    if (!DataPath(STATISTICS_CSV_NAME, path))
        return;
    OPENFILENAMEA dialog;
    memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Hwnd;
    dialog.lpstrFilter = "CSV Files (*.CSV)\0*.CSV\0All Files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = (DWORD)sizeof path;
    dialog.lpstrTitle = "Export Statistics";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    dialog.lpstrDefExt = "CSV";
    if (GetSaveFileNameA(&dialog))
        WriteStatisticsCsv(path);
}

static void PrintGraph(HWND focus)
{
    if (!GraphWindow || focus != GraphWindow)
        return;
    PrintFundGraph();
}

static void EnterKey(void)
{
    if (!TabControl)
        return;
    int32_t tab = CurrentTab();
    if (tab != 0)
        GoToTab(0);
    else if (TabCount() == 4)
        GoToTab(3);
}

static void TabKey(HWND focus)
{
    if (!TabControl || !FundList || !GraphWindow || !ManualList || !KeyHelpList)
        return;
    if (focus == FundList || focus == GraphWindow || focus == ManualList || focus == KeyHelpList)
        SetFocus(TabControl);
    else if (focus == TabControl)
        FocusCurrentPage();
}

// ---------------------------------------------------------------------------------------
// The fund list's notifications.

static void OnFundSelection(void)
{
    if (!FundList)
        return;
    int32_t count = SelectedCount();
    int *selected = nullptr;
    if (count > 0) {
        selected = (int *)AllocZero((size_t)count, sizeof(int));
        if (!selected)
            return;  // AllocZero has said "Out of memory."
        LRESULT got = SendMessageA(FundList, LB_GETSELITEMS, (WPARAM)count, (LPARAM)selected);
        if (got != count) {
            ReportError("LB_GETSEL*");
            FreeBlock(selected);
            return;
        }
    }
    DeleteGraphTabs();
    int32_t next = 0;
    int32_t tabIndex = 3;
    for (uint32_t i = 0; i < FundCount; i++) {
        FundRecord *f = &FundTable[i];
        if (next < count && selected[next] == (int)i) {
            next++;
            f->flags |= FUND_DISPLAYED;
            if (!CombinedGraphs)
                InsertTab(tabIndex++, f->name, TabColourOf(f));
            else if (next == 1)
                InsertTab(3, "Graphs", 1);
        } else {
            StopDisplaying(f);
        }
    }
    if (ApplyDefaultBenchmarkRule())
        WriteSettingsFile();
    if (next < count)
        ReportInternal("extra LB_GETSELITEMS");
    FreeBlock(selected);
}

static void OnFundDoubleClick(void)
{
    DWORD pos = GetMessagePos();
    POINT p = {(int16_t)LOWORD(pos), (int16_t)HIWORD(pos)};
    if (!ScreenToClient(FundList, &p))
        return;
    LRESULT hit = SendMessageA(FundList, LB_ITEMFROMPOINT, 0, MAKELPARAM(p.x, p.y));
    // The high word is set when the point lies outside every item.
    if (HIWORD(hit))
        return;
    uint32_t index = LOWORD(hit);
    if (index >= FundCount || !IsDisplayed(&FundTable[index]))
        return;
    int32_t tab = 3;
    if (!CombinedGraphs)
        for (uint32_t i = 0; i < index; i++)
            if (IsDisplayed(&FundTable[i]))
                tab++;
    GoToTab(tab);
}

// ---------------------------------------------------------------------------------------
// Commands while a worker runs.

// The commands that only read the data set and the view state: pages, help, printing,
// the web page, the About box, leaving. Every other command changes the view state, the
// fund table or its order, the portfolio, a benchmark or a side file, or starts a
// worker; while a worker runs those refuse, so that it works on the data and the view
// it started with (the load fills and re-sorts the very records a re-sort would move,
// and the searches read the view state).
static int OnlyReads(UINT id)
{
    switch (id) {
    case IDM_EXIT: case IDM_WEB_PAGE: case IDM_PRINT: case IDM_KEY_HELP: case IDM_MANUAL:
    case IDM_ABOUT: case IDM_ENTER: case IDM_TAB:
        return 1;
    }
    return 0;
}

// 1 when the fund list's selection is the displayed funds. The list tells of a selection
// change for every key that moves its caret, also when nothing was selected anew.
static int ListShowsDisplayedFunds(void)
{
    for (uint32_t i = 0; i < FundCount; i++) {
        LRESULT selected = SendMessageA(FundList, LB_GETSEL, (WPARAM)i, 0);
        if ((selected > 0) != IsDisplayed(&FundTable[i]))
            return 0;
    }
    return 1;
}

// "A thread is still running." for a command that would change what a worker uses; a
// click in the fund list is taken back, since the list alone changed. Moving through the
// list without selecting anything is no change and goes on quietly.
static void RefuseCommand(int fromFundList)
{
    if (fromFundList) {
        if (ListShowsDisplayedFunds())
            return;
        SelectDisplayedFunds();
    }
    ReportError("A thread is still running.");
}

// ---------------------------------------------------------------------------------------
// The view commands.

static void OnNoChart(CommandResult *r)
{
    ChartKind = CHART_NONE;
    SortFunds();
    r->redraw = r->settingsChanged = 1;
}

static void OnCategorySort(CommandResult *r)
{
    CategorySort = !CategorySort;
    SortFunds();
    r->redraw = r->settingsChanged = 1;
}

static void OnZoom(CommandResult *r)
{
    ZoomOn = !ZoomOn;
    ClearZoomSelection();
    r->redraw = r->settingsChanged = 1;
}

// The magnified MACD and the RSI panel share the space below the graph: one turns the
// other off.
static void OnMagnifyMacd(CommandResult *r)
{
    MagnifyMacd = !MagnifyMacd;
    if (MagnifyMacd)
        ShowRsi = 0;
    r->redraw = r->settingsChanged = 1;
}

static void OnRsi(CommandResult *r)
{
    ShowRsi = !ShowRsi;
    if (ShowRsi)
        MagnifyMacd = 0;
    RecomputeZoomMaximum();
    r->redraw = r->settingsChanged = 1;
}

static void OnDistributions(CommandResult *r)
{
    ShowDistributions = !ShowDistributions;
    r->redraw = r->settingsChanged = 1;
}

// The re-sort moves the funds under the tabs; the tab the user was on stays selected.
static void OnBenchmark(CommandResult *r)
{
    ShowBenchmark = !ShowBenchmark;
    RecomputeZoomMaximum();
    int32_t remembered = CurrentTab();
    SortFunds();
    if (remembered >= 0 && TabControl)
        SendMessageA(TabControl, TCM_SETCURSEL, (WPARAM)remembered, 0);
    r->redraw = r->settingsChanged = 1;
}

static void OnLogLinear(CommandResult *r)
{
    LinearScale = !LinearScale;
    r->redraw = r->settingsChanged = 1;
}

// Not kept in SETTINGS (docs/statistics.md): the settings are not written.
static void OnSearchMap(CommandResult *r)
{
    ShowSearchMap = !ShowSearchMap;
    r->redraw = 1;
}

static void OnCombinedGraphs(CommandResult *r)
{
    CombinedGraphs = !CombinedGraphs;
    RebuildGraphTabs();
    r->redraw = r->settingsChanged = 1;
}

static void OnOverlaidGraphs(CommandResult *r)
{
    OverlaidGraphs = !OverlaidGraphs;
    RecomputeZoomMaximum();
    SortFunds();
    r->redraw = r->settingsChanged = 1;
}

static void OnSelectFund(HWND focus, int32_t tab, CommandResult *r)
{
    SelectFund(focus, tab);
    r->redraw = 1;
}

static void OnGroup(CommandResult *r)
{
    GroupMode = !GroupMode;
    SortFunds();
    r->redraw = r->settingsChanged = 1;
}

// ---------------------------------------------------------------------------------------
// The commands that start a job, change a side file or open a page.

static void OnChangeMovingAverage(UINT id, CommandResult *r)
{
    uint32_t kind = id - IDM_UMA + 1;
    AskAndStartJob(JOB_CHANGE_KIND, kind, "Change moving average for *ALL* funds",
                   "Change moving average for displayed fund(s)", MaCaptions[kind]);
    r->redraw = 1;
}

static void OnReselect(CommandResult *r)
{
    AskAndStartJob(JOB_RESELECT, 0, "Reselect moving average for *ALL* funds",
                   "Reselect moving average for displayed fund(s)", "Confirm");
    r->redraw = 1;
}

static void OnRecalculate(CommandResult *r)
{
    AskAndStartJob(JOB_RECALCULATE, 0, "Recalculate optimal values for *ALL* funds",
                   "Recalculate optimal values for displayed fund(s)", "Confirm");
    r->redraw = 1;
}

static void OnResetBenchmark(CommandResult *r)
{
    ResetBenchmark();
    r->redraw = 1;
}

// An import that added funds reloads the data set, so that they show.
static void OnImportCsv(void)
{
    if (RunImportCsvDialog())
        Restart();
}

// The help pages are the second and third tabs.
static void OnHelpPage(int32_t page)
{
    if (TabControl)
        GoToTab(page);
}

// ---------------------------------------------------------------------------------------
// The dispatch.

static int RunCommand(UINT id, HWND focus, int32_t tab, CommandResult *r)
{
    switch (id) {
    case IDM_YTD_RETURN: ChartToggle(CHART_YTD_RETURN, r); break;
    case IDM_6_MONTH_RETURN: ChartToggle(CHART_6_MONTH, r); break;
    case IDM_1_YEAR_RETURN: ChartToggle(CHART_1_YEAR, r); break;
    case IDM_3_YEAR_RETURN: ChartToggle(CHART_3_YEAR, r); break;
    case IDM_5_YEAR_RETURN: ChartToggle(CHART_5_YEAR, r); break;
    case IDM_7_YEAR_RETURN: ChartToggle(CHART_7_YEAR, r); break;
    case IDM_10_YEAR_RETURN: ChartToggle(CHART_10_YEAR, r); break;
    case IDM_SIGNALS: ChartToggle(CHART_SIGNALS, r); break;
    case IDM_CURRENT_STRENGTH: ChartToggle(CHART_CURRENT_STRENGTH, r); break;
    case IDM_TOTAL_RETURN: ChartToggle(CHART_TOTAL_RETURN, r); break;
    case IDM_VOLATILITY: ChartToggle(CHART_VOLATILITY, r); break;
    case IDM_REWARD_RISK: ChartToggle(CHART_REWARD_RISK, r); break;
    case IDM_SHARPE_RATIO: ChartToggle(CHART_SHARPE, r); break;
    case IDM_MAX_DRAWDOWN: case IDM_SORTINO_RATIO: case IDM_BETA: case IDM_ALPHA:
    case IDM_UP_CAPTURE: case IDM_DOWN_CAPTURE: case IDM_TRACKING_ERROR:
    case IDM_INFORMATION_RATIO: case IDM_WORST_3_YEAR:
        // The analyst's charts have their codes in the order of their commands.
        ChartToggle(CHART_MAX_DRAWDOWN + (id - IDM_MAX_DRAWDOWN), r);
        break;
    case IDM_EXPORT_STATISTICS: ExportStatistics(); break;
    case IDM_TAX_EFFICIENCY: ChartToggle(CHART_TAX_EFFICIENCY, r); break;
    case IDM_NO_CHART: OnNoChart(r); break;
    case IDM_CATEGORY_SORT: OnCategorySort(r); break;
    case IDM_EXIT: PostMessageA(Hwnd, WM_CLOSE, 0, 0); break;
    case IDM_ZOOM: OnZoom(r); break;
    case IDM_MOVING_AVERAGE: ToggleOverlay(&ShowMovingAverage, r); break;
    case IDM_MACD: ToggleOverlay(&ShowMacd, r); break;
    case IDM_ROC: ToggleOverlay(&ShowRoc, r); break;
    case IDM_BOLLINGER: ToggleOverlay(&ShowBollinger, r); break;
    case IDM_MAGNIFY_MACD: OnMagnifyMacd(r); break;
    case IDM_RSI: OnRsi(r); break;
    case IDM_DISTRIBUTIONS: OnDistributions(r); break;
    case IDM_BENCHMARK: OnBenchmark(r); break;
    case IDM_LOG_LINEAR: OnLogLinear(r); break;
    case IDM_SEARCH_MAP: OnSearchMap(r); break;
    case IDM_COMBINED_GRAPHS: OnCombinedGraphs(r); break;
    case IDM_OVERLAID_GRAPHS: OnOverlaidGraphs(r); break;
    case IDM_WEB_PAGE: OpenWebPage(); break;
    case IDM_SELECT_FUND: OnSelectFund(focus, tab, r); break;
    case IDM_GROUP: OnGroup(r); break;
    case IDM_UMA: case IDM_WMA: case IDM_EMA: case IDM_AMA: case IDM_VIDYA:
        OnChangeMovingAverage(id, r);
        break;
    case IDM_RESELECT: OnReselect(r); break;
    case IDM_RECALCULATE: OnRecalculate(r); break;
    case IDM_VALIDATE_ALL: case IDM_VALIDATE_DISPLAYED: case IDM_VALIDATE_CURRENT:
        AskAndValidate(id);
        break;
    case IDM_WALK_FORWARD: case IDM_OVERFIT_PROBABILITY: case IDM_DEFLATED_SHARPE:
        // The validation charts have their codes in the order of their commands.
        ChartToggle(CHART_WALK_FORWARD + (id - IDM_WALK_FORWARD), r);
        break;
    case IDM_DEFAULT_BENCHMARK: RunDefaultBenchmarkDialog(); break;
    case IDM_RESET_BENCHMARK: OnResetBenchmark(r); break;
    case IDM_INCREMENTAL_UPDATE: StartUpdate(0); break;
    case IDM_FULL_UPDATE: StartUpdate(1); break;
    case IDM_RESTART: Restart(); break;
    case IDM_IMPORT_CSV: OnImportCsv(); break;
    case IDM_PRINT: PrintGraph(focus); break;
    case IDM_KEY_HELP: OnHelpPage(1); break;
    case IDM_MANUAL: OnHelpPage(2); break;
    case IDM_ABOUT: ShowAboutBox(); break;
    case IDM_ENTER: EnterKey(); break;
    case IDM_TAB: TabKey(focus); break;
    default:
        return 0;
    }
    return 1;
}

LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    UINT id = LOWORD(wParam);
    UINT code = HIWORD(wParam);
    HWND control = (HWND)lParam;

    // Control notifications: only the fund list's selection and double click are
    // commands of their own; the help lists' notifications only refresh the status line.
    int fromFundList = control && FundList && control == FundList && id == IDC_FUND_LIST;
    int fromHelpList = control && ((KeyHelpList && control == KeyHelpList) ||
                                   (ManualList && control == ManualList));
    if (control && !fromHelpList &&
        !(fromFundList && (code == LBN_SELCHANGE || code == LBN_SELCANCEL || code == LBN_DBLCLK)))
        return DefWindowProcA(hwnd, WM_COMMAND, wParam, lParam);

    // Refused before anything else, so that even a measuring line stays as it was.
    int changes = fromFundList ? code != LBN_DBLCLK
                               : !fromHelpList && ((id >= IDM_YTD_RETURN &&
                                     id <= IDM_DEFLATED_SHARPE) || id == IDM_IMPORT_CSV) &&
                                     !OnlyReads(id);
    if (changes && WorkerThread) {
        RefuseCommand(fromFundList);
        return 0;
    }

    HWND focus = GetFocus();
    int32_t tab = CurrentTab();
    CancelGraphInteraction();

    CommandResult r = {0, 0};
    if (fromFundList) {
        if (code == LBN_DBLCLK)
            OnFundDoubleClick();
        else
            OnFundSelection();
    } else if (!fromHelpList && !RunCommand(id, focus, tab, &r)) {
        return DefWindowProcA(hwnd, WM_COMMAND, wParam, lParam);
    }

    if (r.redraw)
        SwitchPage();
    BuildStatusLine();
    if (r.settingsChanged)
        WriteSettingsFile();
    return 0;
}
