// The main window's working layout: the tab strip and the page windows, their sizes, page
// switching, the owner-drawn tabs and list rows, and the help texts.
#include "app/mainwnd.h"

#include <commctrl.h>
#include <string.h>

#include "app/layout.h"
#include "base/errors.h"
#include "data/alloc.h"
#include "data/load.h"
#include "data/viewflags.h"
#include "platform/win32/win32.h"
#include "resource.h"
#undef DrawText
#include "graphics/chartrow.h"
#include "graphics/draw.h"
#include "graphics/gdi_surface.h"
#include "graphics/graphpage.h"

HWND TabControl;
HWND FundList;
HWND LegendWindow;
HWND GraphWindow;
HWND LeftArrows, RightArrows, TopArrows;
HWND KeyHelpList;
HWND ManualList;
RECT PageArea;
int32_t TabStripHeight;
RECT GraphRect;
HelpText KeyHelpText;
HelpText ManualText;

void ReadStatusRect(HWND hwnd);

static const DWORD PageStyle = WS_CHILD | WS_DISABLED | WS_CLIPSIBLINGS;
static const DWORD FundListStyle = PageStyle | WS_BORDER | WS_VSCROLL | WS_TABSTOP |
                                   LBS_NODATA | LBS_OWNERDRAWFIXED | LBS_MULTIPLESEL |
                                   LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
static const DWORD HelpListStyle = PageStyle | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
                                   WS_TABSTOP | LBS_NODATA | LBS_OWNERDRAWFIXED |
                                   LBS_NOINTEGRALHEIGHT;
static const DWORD TabStyle = WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_BUTTONS |
                              TCS_OWNERDRAWFIXED;

static int32_t NotNegative(int32_t v)
{
    return v > 0 ? v : 0;
}

static int32_t Width(const RECT &r)
{
    return r.right - r.left;
}

static int32_t Height(const RECT &r)
{
    return r.bottom - r.top;
}

// The page windows' places for the page area as it stands.
static PageLayout CurrentLayout(int kind)
{
    LayoutInput in;
    in.pageLeft = PageArea.left;
    in.pageTop = PageArea.top;
    in.pageRight = PageArea.right;
    in.pageBottom = PageArea.bottom;
    in.legendWidth = (int32_t)LegendWidth;
    in.sideWidth = (int32_t)Bitmaps[BMP_ARROW_LEFT].width;
    in.sideHeight = (int32_t)Bitmaps[BMP_ARROW_LEFT].height;
    in.topWidth = (int32_t)Bitmaps[BMP_UP].width;
    in.topHeight = (int32_t)Bitmaps[BMP_UP].height;
    in.borderWidth = BorderWidth;
    in.scrollBarWidth = ScrollBarWidth;
    in.checkWidth = (int32_t)Bitmaps[BMP_CHECK].width;
    in.portfolioWidth = (int32_t)Bitmaps[BMP_PORTFOLIO].width;
    PageLayout layout;
    ComputePageLayout(&in, kind, &layout);
    return layout;
}

static HWND CreateChild(const char *windowClass, DWORD style, const LayoutRect &r, int id,
                        const char *failure)
{
    HWND child = CreateWindowExA(0, windowClass, nullptr, style, r.x, r.y, r.w, r.h, Hwnd,
                                 (HMENU)(INT_PTR)id, Instance, nullptr);
    if (!child)
        ReportWin32(failure);
    return child;
}

static void Move(HWND window, const LayoutRect &r)
{
    if (window && !MoveWindow(window, r.x, r.y, r.w, r.h, TRUE))
        ReportWin32("MoveWindow");
}

static void SetListCount(HWND list, uint32_t count)
{
    if (!list)
        return;
    LRESULT r = SendMessageA(list, LB_SETCOUNT, count, 0);
    if (r == LB_ERR || r == LB_ERRSPACE)
        ReportError("LB_SETCOUNT");
}

static void RefreshGraphRect(void)
{
    if (!GraphWindow)
        return;
    RECT r;
    if (!GetWindowRect(GraphWindow, &r)) {
        ReportWin32("GetWindowRect (graph)");
        return;
    }
    MapWindowPoints(nullptr, Hwnd, (POINT *)&r, 2);
    GraphRect = r;
    int32_t right = Width(r) - (3 * (int32_t)CharWidth + 3);
    PlotRight = right > 0 ? right : 0;
}

// The tab strip's height and the page area below it, measured on a temporary tab
// control of the full size: only a real control knows how high its row of tabs is.
static void MeasureTabStrip(int32_t available)
{
    int32_t width = Width(ClientRect);
    HWND probe = CreateWindowExA(0, WC_TABCONTROLA, nullptr, TabStyle, 0, 0, width, available,
                                 Hwnd, nullptr, Instance, nullptr);
    if (!probe) {
        ReportWin32("CreateWindow (tab control)");
        return;
    }
    TCITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = TCIF_TEXT;
    item.pszText = (char *)"Funds";
    SendMessageA(probe, TCM_INSERTITEMA, 0, (LPARAM)&item);
    RECT own;
    if (!GetWindowRect(probe, &own)) {
        ReportWin32("GetWindowRect (tab control)");
    } else {
        RECT display = own;
        SendMessageA(probe, TCM_ADJUSTRECT, FALSE, (LPARAM)&display);
        MapWindowPoints(nullptr, Hwnd, (POINT *)&own, 2);
        MapWindowPoints(nullptr, Hwnd, (POINT *)&display, 2);
        PageArea.left = own.left;
        PageArea.right = own.right;
        PageArea.top = display.top;
        PageArea.bottom = display.bottom;
        TabStripHeight = NotNegative(available - Height(display));
    }
    if (!DestroyWindow(probe))
        ReportWin32("DestroyWindow");
}

void InsertTab(int32_t index, const char *text, uint32_t colour)
{
    if (!TabControl)
        return;
    // "&" would underline the next character; doubled it shows as itself.
    char escaped[1024];
    EscapeTabText(text, escaped, sizeof escaped);
    TCITEMA item;
    ZeroMemory(&item, sizeof item);
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = escaped;
    item.lParam = (LPARAM)colour;
    if (SendMessageA(TabControl, TCM_INSERTITEMA, (WPARAM)index, (LPARAM)&item) == -1)
        ReportWin32("TCM_INSERTITEM");
}

// The help texts are laid out in columns of characters, which line up only in a font
// whose characters are all one width; their lines are drawn in it.
static HGDIOBJ HelpFont(void)
{
    return GetStockObject(SYSTEM_FIXED_FONT);
}

// Lets a help list scroll sideways to its longest line, so that a narrow window cuts none;
// a list as wide as that shows no scroll bar.
static void SetHelpExtent(HWND list, const HelpText &help)
{
    HDC dc = list ? GetDC(list) : nullptr;
    if (!dc)
        return;
    HGDIOBJ old = SelectObject(dc, HelpFont());
    LONG widest = 0;
    for (uint32_t i = 0; i < help.count; i++) {
        SIZE size;
        if (GetTextExtentPoint32A(dc, help.text + help.lines[i].offset,
                                  (int)help.lines[i].length, &size) && size.cx > widest)
            widest = size.cx;
    }
    if (old)
        SelectObject(dc, old);
    ReleaseDC(list, dc);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, (WPARAM)widest, 0);
}

void BuildLayout(HWND)
{
    if (TabControl)
        return;  // a layout exists already: a second "data ready" changes nothing
    int32_t available = NotNegative(Height(ClientRect) - Height(StatusRect));
    MeasureTabStrip(available);

    LayoutRect strip = {0, 0, Width(ClientRect), TabStripHeight};
    TabControl = CreateChild(WC_TABCONTROLA, TabStyle | WS_VISIBLE, strip, IDC_TAB_CONTROL,
                             "CreateWindow (tab control)");
    if (TabControl) {
        InsertTab(0, "Funds", 1);
        InsertTab(1, "Key Help", 1);
        InsertTab(2, "Manual", 1);
    }
    PageLayout layout = CurrentLayout(LAYOUT_BUILD);
    FundList = CreateChild("LISTBOX", FundListStyle, layout.fundList, IDC_FUND_LIST,
                           "CreateWindow (fund list box)");
    SetListCount(FundList, FundCount);
    LegendWindow = CreateChild("NavLegend", PageStyle, layout.legend, IDC_LEGEND,
                               "CreateWindow (legend)");
    GraphWindow = CreateChild("NavGraph", PageStyle | WS_TABSTOP, layout.graph, IDC_GRAPH,
                              "CreateWindow (graph)");
    RefreshGraphRect();
    PlotLeft = 3 * (int32_t)CharWidth + 2;
    LeftArrows = CreateChild("NavArrow", PageStyle, layout.leftArrows, IDC_LEFT_ARROWS,
                             "CreateWindow (left arrows)");
    RightArrows = CreateChild("NavArrow", PageStyle, layout.rightArrows, IDC_RIGHT_ARROWS,
                              "CreateWindow (right arrows)");
    TopArrows = CreateChild("NavArrow", PageStyle, layout.topArrows, IDC_TOP_ARROWS,
                            "CreateWindow (top arrows)");

    ReadHelpText("KEYHELP", "KEYHELP", 0, &KeyHelpText);
    KeyHelpList = CreateChild("LISTBOX", HelpListStyle, layout.keyHelp, IDC_KEY_HELP,
                              "CreateWindow (key help list box)");
    SetListCount(KeyHelpList, KeyHelpText.count);
    SetHelpExtent(KeyHelpList, KeyHelpText);
    ReadHelpText("README", "README", 1, &ManualText);
    ManualList = CreateChild("LISTBOX", HelpListStyle, layout.manual, IDC_MANUAL,
                             "CreateWindow (manual list box)");
    SetListCount(ManualList, ManualText.count);
    SetHelpExtent(ManualList, ManualText);

    if (TabControl) {
        SendMessageA(TabControl, TCM_SETCURSEL, 0, 0);
        OnTabChanged();
    }
}

// The inside of the fund list, without its border and scroll bar: the rows' width.
static int32_t FundRowWidth(void)
{
    return NotNegative(Width(PageArea) - (int32_t)LegendWidth - 12 - 2 * BorderWidth -
                       ScrollBarWidth);
}

void OnSize(HWND hwnd, WPARAM kind, int32_t width, int32_t height)
{
    if (kind == SIZE_MINIMIZED)
        return;
    if (!GetClientRect(hwnd, &ClientRect))
        ReportWin32("GetClientRect");
    if (StatusBar) {
        SendMessageA(StatusBar, WM_SIZE, kind, MAKELPARAM(width, height));
        int parts[1] = {-1};
        SendMessageA(StatusBar, SB_SETPARTS, 1, (LPARAM)parts);
        ReadStatusRect(hwnd);
    }
    int32_t statusHeight = Height(StatusRect);
    int32_t h = height > statusHeight ? height - statusHeight : 0;
    if (ProgressBar)
        Move(ProgressBar, ProgressBarPlace(width, h, (int32_t)LineHeight));
    if (!TabControl)
        return;
    LayoutRect strip = {0, 0, 0, 0};
    SetRectEmpty(&PageArea);
    if (h > 0) {
        strip.w = width;
        strip.h = TabStripHeight < h ? TabStripHeight : h;
        if (TabStripHeight < h) {
            PageArea.left = ClientRect.left;
            PageArea.right = ClientRect.right;
            PageArea.top = TabStripHeight;
            PageArea.bottom = StatusRect.top;
        }
    }
    Move(TabControl, strip);
    PageLayout layout = CurrentLayout(LAYOUT_RESIZE);
    Move(KeyHelpList, layout.keyHelp);
    Move(ManualList, layout.manual);
    Move(GraphWindow, layout.graph);
    RefreshGraphRect();
    Move(LeftArrows, layout.leftArrows);
    Move(RightArrows, layout.rightArrows);
    Move(TopArrows, layout.topArrows);
    Move(LegendWindow, layout.legend);
    Move(FundList, layout.fundList);
    // A fixed-height list measures its rows only when it is created; the bars, the zero
    // line and the labels follow the new width from here.
    if (FundList)
        MeasureFundRow((uint32_t)FundRowWidth());
    SwitchPage();
}

static void DestroyChild(HWND *window, const char *failure)
{
    if (*window && !DestroyWindow(*window))
        ReportWin32(failure);
    *window = nullptr;
}

void DestroyLayoutWindows(void)
{
    DestroyChild(&ProgressBar, "DestroyWindow (progress bar)");
    DestroyChild(&FundList, "DestroyWindow (fund list box)");
    DestroyChild(&LegendWindow, "DestroyWindow (legend)");
    DestroyChild(&GraphWindow, "DestroyWindow (graph)");
    DestroyChild(&LeftArrows, "DestroyWindow (left arrows)");
    DestroyChild(&RightArrows, "DestroyWindow (right arrows)");
    DestroyChild(&TopArrows, "DestroyWindow (top arrows)");
    DestroyChild(&KeyHelpList, "DestroyWindow (key help)");
    DestroyChild(&ManualList, "DestroyWindow (on-line manual)");
    DestroyChild(&TabControl, "DestroyWindow (tab control)");
}

void FreeHelpTexts(void)
{
    FreeHelpText(&KeyHelpText);
    FreeHelpText(&ManualText);
}

// ---------------------------------------------------------------------------------------
// Pages.

int32_t CurrentTab(void)
{
    if (!TabControl)
        return -1;
    return (int32_t)SendMessageA(TabControl, TCM_GETCURSEL, 0, 0);
}

static void ShowPageWindow(HWND window, int show)
{
    if (!window)
        return;
    EnableWindow(window, show ? TRUE : FALSE);
    ShowWindow(window, show ? SW_SHOW : SW_HIDE);
}

static void ShowPage(int32_t tab, int show)
{
    if (tab == 0) {
        ShowPageWindow(FundList, show);
        ShowPageWindow(LegendWindow, show);
    } else if (tab == 1) {
        ShowPageWindow(KeyHelpList, show);
    } else if (tab == 2) {
        ShowPageWindow(ManualList, show);
    } else if (tab >= 3) {
        ShowPageWindow(GraphWindow, show);
        ShowPageWindow(LeftArrows, show);
        ShowPageWindow(RightArrows, show);
        ShowPageWindow(TopArrows, show);
    }
}

void HidePage(int32_t tab)
{
    ShowPage(tab, 0);
}

static HWND PageMainWindow(int32_t tab)
{
    if (tab == 0)
        return FundList;
    if (tab == 1)
        return KeyHelpList;
    if (tab == 2)
        return ManualList;
    return tab >= 3 ? GraphWindow : nullptr;
}

void FocusCurrentPage(void)
{
    HWND window = PageMainWindow(CurrentTab());
    if (window)
        SetFocus(window);
}

void CancelGraphInteraction(void)
{
    if (MeasureState == 2)
        return;
    if (GraphWindow)
        SendMessageA(GraphWindow, GRAPH_MESSAGE, GRAPH_CANCEL, 0);
    MeasureState = 0;
}

// The graph page into the back buffer, for the graph window to show.
static void DrawGraphPage(int32_t tab)
{
    if (BackBufferDc)
        GraphPageRedrawn(
            PrepareGraphPage(&BackBuffer, Width(GraphRect), Height(GraphRect), (uint32_t)tab));
}

static int32_t LeftTab = -1;

void OnTabChanging(void)
{
    CancelGraphInteraction();
    LeftTab = CurrentTab();
    ShowPage(LeftTab, 0);
}

void OnTabChanged(void)
{
    int32_t tab = CurrentTab();
    if (tab >= 3) {
        CancelGraphInteraction();
        DrawGraphPage(tab);
    }
    ShowPage(tab, 1);
    HWND window = PageMainWindow(tab);
    if (window)
        SetFocus(window);
}

void GoToTab(int32_t tab)
{
    if (!TabControl)
        return;
    OnTabChanging();
    SendMessageA(TabControl, TCM_SETCURSEL, (WPARAM)tab, 0);
    OnTabChanged();
}

// ---------------------------------------------------------------------------------------
// Owner-drawn items.

void OnMeasureItem(HWND, MEASUREITEMSTRUCT *item)
{
    if (!item)
        return;
    int32_t helpWidth = Width(PageArea) - 8 - 2 * BorderWidth - ScrollBarWidth;
    switch (item->CtlID) {
    case IDC_TAB_CONTROL:
        item->itemHeight = TextHeight + 2;
        break;
    case IDC_FUND_LIST:
        item->itemWidth = (UINT)FundRowWidth();
        MeasureFundRow(item->itemWidth);
        item->itemHeight = ListRowHeight + 2;
        break;
    case IDC_KEY_HELP:
    case IDC_MANUAL:
        item->itemWidth = (UINT)NotNegative(helpWidth);
        item->itemHeight = ListRowHeight;
        break;
    }
}

static DrawTarget ItemTarget(HDC dc)
{
    DrawTarget t;
    InitGdiTarget(&t, dc);
    return t;
}

// Text vertically centred in an item, at its left, on a transparent background.
static void ItemText(HDC dc, const RECT &r, const char *text, uint32_t length, uint32_t colour)
{
    SetBkMode(dc, TRANSPARENT);
    RgbColour c = PaletteColour(colour);
    SetTextColor(dc, RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, text, (int)length, &extent);
    TextOutA(dc, r.left, r.top + (Height(r) - extent.cy) / 2, text, (int)length);
}

static void DrawTabItem(const DRAWITEMSTRUCT *item)
{
    HDC dc = item->hDC;
    if (item->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)) {
        if (!FillRect(dc, &item->rcItem, LightGrayBrush))
            ReportWin32("FillRect");
        char text[513];
        TCITEMA tab;
        ZeroMemory(&tab, sizeof tab);
        tab.mask = TCIF_TEXT | TCIF_PARAM;
        tab.pszText = text;
        tab.cchTextMax = (int)sizeof text - 1;
        text[0] = 0;
        SendMessageA(TabControl, TCM_GETITEMA, item->itemID, (LPARAM)&tab);
        text[sizeof text - 1] = 0;
        // The tab holds "&&" for every "&" of a fund's name; drawn by hand it must show one.
        size_t n = UnescapeTabText(text);
        ItemText(dc, item->rcItem, text, (uint32_t)n, (uint32_t)(tab.lParam & 0xFF));
        if (item->itemState & ODS_FOCUS)
            DrawFocusRect(dc, &item->rcItem);
    } else if (item->itemAction & ODA_FOCUS) {
        DrawFocusRect(dc, &item->rcItem);
    }
}

static void DrawHelpItem(const DRAWITEMSTRUCT *item, const HelpText &help, int colouredHead)
{
    HDC dc = item->hDC;
    if (item->itemAction & ODA_DRAWENTIRE) {
        FillRect(dc, &item->rcItem, LightGrayBrush);
        if (item->itemID < help.count) {
            // The key help's first lines are its heading, in the colours of the charts.
            static const uint32_t HeadColours[6] = {12, 3, 9, 12, 5, 12};
            uint32_t colour = colouredHead && item->itemID < 6 ? HeadColours[item->itemID] : 1;
            const HelpLine &line = help.lines[item->itemID];
            HGDIOBJ old = SelectObject(dc, HelpFont());
            ItemText(dc, item->rcItem, help.text + line.offset, line.length, colour);
            if (old)
                SelectObject(dc, old);
        }
        if (item->itemState & ODS_FOCUS)
            DrawFocusRect(dc, &item->rcItem);
    } else if (item->itemAction & ODA_FOCUS) {
        DrawFocusRect(dc, &item->rcItem);
    }
}

static void DrawFundListItem(const DRAWITEMSTRUCT *item)
{
    DrawTarget t = ItemTarget(item->hDC);
    uint32_t action = ROW_DRAW_ENTIRE;
    if (item->itemAction & ODA_DRAWENTIRE) {
        FillRect(item->hDC, &item->rcItem, LightGrayBrush);
    } else if (item->itemAction & ODA_SELECT) {
        action = ROW_DRAW_SELECT;
    } else {
        action = ROW_DRAW_FOCUS;
    }
    uint32_t state = 0;
    if (item->itemState & ODS_SELECTED)
        state |= ROW_STATE_SELECTED;
    if (item->itemState & ODS_FOCUS)
        state |= ROW_STATE_FOCUS;
    const RECT &r = item->rcItem;
    DrawFundRow(&t, (int32_t)item->itemID, r.left, r.top, r.right, r.bottom, action, state);
}

void OnDrawItem(HWND, const DRAWITEMSTRUCT *item)
{
    if (!item)
        return;
    switch (item->CtlID) {
    case IDC_TAB_CONTROL:
        if (TabControl)
            DrawTabItem(item);
        break;
    case IDC_FUND_LIST:
        DrawFundListItem(item);
        break;
    case IDC_KEY_HELP:
        DrawHelpItem(item, KeyHelpText, 1);
        break;
    case IDC_MANUAL:
        DrawHelpItem(item, ManualText, 0);
        break;
    }
}
