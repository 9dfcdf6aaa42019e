// Resource numbers shared by vantry.rc and the window shell: menu, accelerators, icon,
// bitmaps, the command ids and the control ids of the main window's children.
#ifndef VANTRY_RESOURCE_H
#define VANTRY_RESOURCE_H

#define IDI_VANTRY 101
#define IDR_MAIN_MENU 113
#define IDD_DEFAULT_BENCHMARK 125
#define IDR_ACCELERATORS 126

// The 22 bitmaps, by the number each is loaded under.
#define IDB_BUY 104
#define IDB_SELL 105
#define IDB_PORTFOLIO 106
#define IDB_CHECK 110
#define IDB_NO_CHECK 111
#define IDB_NO_PORTFOLIO 112
#define IDB_ARROW_RIGHT 115
#define IDB_ARROW_LEFT 116
#define IDB_DOUBLE_RIGHT 117
#define IDB_DOUBLE_LEFT 118
#define IDB_UP 119
#define IDB_DOWN 120
#define IDB_BOLD_LEFT 121
#define IDB_BOLD_RIGHT 122
#define IDB_BOLD_DOUBLE_LEFT 123
#define IDB_BOLD_DOUBLE_RIGHT 124
#define IDB_RISE3 131
#define IDB_FALL4 133
#define IDB_FALL3 138
#define IDB_RISE4 140
#define IDB_FALL5 141
#define IDB_RISE5 142

// Control ids of the main window's children.
#define IDC_STATUS_BAR 101
#define IDC_PROGRESS_BAR 102
#define IDC_TAB_CONTROL 103
#define IDC_FUND_LIST 104
#define IDC_LEGEND 105
#define IDC_GRAPH 106
#define IDC_KEY_HELP 107
#define IDC_MANUAL 108
#define IDC_LEFT_ARROWS 109
#define IDC_RIGHT_ARROWS 110
#define IDC_TOP_ARROWS 111
// The Default Benchmark dialog's list of index funds.
#define IDC_BENCHMARK_CHOICE 1002

// Commands of the menu and the accelerators.
#define IDM_YTD_RETURN 40001
#define IDM_1_YEAR_RETURN 40002
#define IDM_3_YEAR_RETURN 40003
#define IDM_5_YEAR_RETURN 40004
#define IDM_10_YEAR_RETURN 40005
#define IDM_TOTAL_RETURN 40007
#define IDM_VOLATILITY 40008
#define IDM_REWARD_RISK 40009
#define IDM_TAX_EFFICIENCY 40010
#define IDM_CATEGORY_SORT 40011
#define IDM_ZOOM 40012
#define IDM_MOVING_AVERAGE 40013
#define IDM_DISTRIBUTIONS 40014
#define IDM_LOG_LINEAR 40015
#define IDM_SELECT_FUND 40016
#define IDM_GROUP 40017
#define IDM_UMA 40018
#define IDM_WMA 40019
#define IDM_EMA 40020
#define IDM_AMA 40021
#define IDM_VIDYA 40022
#define IDM_RESELECT 40023
#define IDM_RECALCULATE 40024
#define IDM_PRINT 40025
#define IDM_KEY_HELP 40026
#define IDM_7_YEAR_RETURN 40027
#define IDM_NO_CHART 40028
#define IDM_EXIT 40030
#define IDM_MANUAL 40031
#define IDM_ABOUT 40032
#define IDM_COMBINED_GRAPHS 40033
#define IDM_INCREMENTAL_UPDATE 40034
#define IDM_FULL_UPDATE 40035
#define IDM_RESTART 40037
#define IDM_WEB_PAGE 40038
#define IDM_DEFAULT_BENCHMARK 40039
#define IDM_RESET_BENCHMARK 40041
#define IDM_BENCHMARK 40043
#define IDM_ENTER 40044
#define IDM_TAB 40049
#define IDM_RSI 40050
#define IDM_BOLLINGER 40051
#define IDM_6_MONTH_RETURN 40052
#define IDM_SIGNALS 40053
#define IDM_MACD 40054
#define IDM_MAGNIFY_MACD 40055
#define IDM_ROC 40056
#define IDM_CURRENT_STRENGTH 40057
#define IDM_OVERLAID_GRAPHS 40058
#define IDM_SHARPE_RATIO 40059

#endif
