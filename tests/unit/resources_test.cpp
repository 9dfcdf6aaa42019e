// The resource script against its contract: every command in the menu with its exact
// text, the accelerator keys, and the bitmaps in the order the drawing code loads them.
#include <ctype.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "../../resources/resource.h"
#include "graph_canvas.h"
#include "test_support.h"

namespace {

// The pieces of text between separators (its lines for '\n'), each without the blanks
// around it.
std::vector<std::string> Split(const std::string &text, char separator)
{
    std::vector<std::string> pieces;
    std::istringstream in(text);
    for (std::string p; std::getline(in, p, separator);) {
        size_t a = p.find_first_not_of(" \t\r"), b = p.find_last_not_of(" \t\r");
        pieces.push_back(a == std::string::npos ? "" : p.substr(a, b - a + 1));
    }
    return pieces;
}

// The numbers of resource.h by name, read from the header as the resource compiler does.
std::map<std::string, long> HeaderNames()
{
    std::map<std::string, long> names;
    for (const std::string &line : Split(ReadWholeFile(ResourceDir() + "resource.h"), '\n')) {
        std::istringstream words(line);
        std::string define, name;
        long value;
        if (words >> define >> name >> value && define == "#define")
            names[name] = value;
    }
    return names;
}

// The text between the first pair of double quotes of a line after position from, and
// in *after the position behind the closing quote; "" when there is none.
std::string Quoted(const std::string &line, size_t from, size_t *after)
{
    size_t a = line.find('"', from);
    size_t b = a == std::string::npos ? a : line.find('"', a + 1);
    if (b == std::string::npos)
        return "";
    *after = b + 1;
    return line.substr(a + 1, b - a - 1);
}

// Every menu command with its text; the texts carry the hints of their keys.
const std::vector<std::pair<int, std::string>> Commands = {
    {IDM_YTD_RETURN, "Year-To-Date Return - Ctrl-y"}, {IDM_SIGNALS, "Signals - Ctrl-a,a"},
    {IDM_6_MONTH_RETURN, "6-Month Return - Ctrl-6,6"}, {IDM_EXIT, "Exit - Ctrl-q"},
    {IDM_1_YEAR_RETURN, "1-Year Return - Ctrl-1"}, {IDM_3_YEAR_RETURN, "3-Year Return - Ctrl-3"},
    {IDM_5_YEAR_RETURN, "5-Year Return - Ctrl-5"}, {IDM_7_YEAR_RETURN, "7-Year Return - Ctrl-7"},
    {IDM_10_YEAR_RETURN, "10-Year Return - Ctrl-0"}, {IDM_ZOOM, "Zoom - Ctrl-z"},
    {IDM_CURRENT_STRENGTH, "Current Strength"}, {IDM_TOTAL_RETURN, "Total Return - Ctrl-t"},
    {IDM_VOLATILITY, "Volatility - Ctrl-v"}, {IDM_REWARD_RISK, "Reward/Risk Ratio - Ctrl-r"},
    {IDM_SHARPE_RATIO, "Sharpe Ratio"}, {IDM_TAX_EFFICIENCY, "Tax Efficiency - Ctrl-x"},
    {IDM_NO_CHART, "No Chart - Ctrl-n"}, {IDM_CATEGORY_SORT, "Category Sort - Ctrl-c"},
    {IDM_MOVING_AVERAGE, "Moving Average - Ctrl-m"},
    {IDM_MACD, "MACD - Moving Average Convergence/Divergence"},
    {IDM_MAGNIFY_MACD, "Magnify MACD"}, {IDM_ROC, "ROC - Rate Of Change"},
    {IDM_BOLLINGER, "Bollinger Bands"}, {IDM_DISTRIBUTIONS, "Distributions - Ctrl-d"},
    {IDM_BENCHMARK, "Benchmark - Ctrl-b,b"}, {IDM_LOG_LINEAR, "Log/Linear - Ctrl-l"},
    {IDM_COMBINED_GRAPHS, "Combined Graphs"}, {IDM_OVERLAID_GRAPHS, "Overlaid Graphs"},
    {IDM_RSI, "RSI - Relative Strength Index"}, {IDM_WEB_PAGE, "Web Page"},
    {IDM_SELECT_FUND, "Select Fund - Ctrl-s"}, {IDM_GROUP, "Group - Ctrl-g"},
    {IDM_UMA, "Unweighted UMA"}, {IDM_WMA, "Weighted WMA"},
    {IDM_EMA, "Exponential EMA"}, {IDM_AMA, "Adaptive AMA"},
    {IDM_VIDYA, "Variable VIDYA"}, {IDM_RESELECT, "Reselect Moving Average"},
    {IDM_RECALCULATE, "Recalculate Optimal Values"},
    {IDM_DEFAULT_BENCHMARK, "Default Benchmark"}, {IDM_RESET_BENCHMARK, "Reset Benchmark"},
    {IDM_INCREMENTAL_UPDATE, "Incremental Update"}, {IDM_FULL_UPDATE, "Full Update"},
    {IDM_RESTART, "Restart"}, {IDM_PRINT, "Print Fund Graph - Ctrl-p"},
    {IDM_KEY_HELP, "Keystroke Help - Ctrl-h,<F1>"}, {IDM_MANUAL, "On-line Manual"},
    {IDM_ABOUT, "About Vantry"}, {IDM_MAX_DRAWDOWN, "Max Drawdown"},
    {IDM_SORTINO_RATIO, "Sortino Ratio"}, {IDM_BETA, "Beta"},
    {IDM_ALPHA, "Alpha"}, {IDM_UP_CAPTURE, "Up Capture"},
    {IDM_DOWN_CAPTURE, "Down Capture"}, {IDM_TRACKING_ERROR, "Tracking Error"},
    {IDM_INFORMATION_RATIO, "Information Ratio"}, {IDM_WORST_3_YEAR, "Worst 3-Year Return"},
    {IDM_EXPORT_STATISTICS, "Export Statistics..."}, {IDM_SEARCH_MAP, "Search Map - Ctrl-k"},
    {IDM_VALIDATE_ALL, "Validate All Funds"},
    {IDM_VALIDATE_DISPLAYED, "Validate Displayed Funds"},
    {IDM_VALIDATE_CURRENT, "Validate Current Fund"}, {IDM_WALK_FORWARD, "Walk-Forward Return"},
    {IDM_OVERFIT_PROBABILITY, "Overfit Probability"},
    {IDM_DEFLATED_SHARPE, "Deflated Sharpe Ratio"}, {IDM_IMPORT_CSV, "Import CSV..."},
};

struct ResourceScript : ::testing::Test {
    void SetUp() override
    {
        rc = ReadWholeFile(ResourceDir() + "vantry.rc");
        names = HeaderNames();
    }
    long Value(const std::string &name)
    {
        auto it = names.find(name);
        EXPECT_NE(names.end(), it) << name << " is not defined in resource.h";
        return it == names.end() ? -1 : it->second;
    }
    std::string rc;
    std::map<std::string, long> names;
};

TEST_F(ResourceScript, EveryCommandIsInTheMenuOnceWithItsText)
{
    std::multimap<long, std::string> items;
    for (const std::string &line : Split(rc, '\n')) {
        size_t at = line.find("MENUITEM \"");
        if (at == std::string::npos)
            continue;
        size_t after = 0;
        std::string text = Quoted(line, at, &after);
        std::vector<std::string> rest = Split(line.substr(after), ',');
        ASSERT_EQ(2u, rest.size()) << line;
        items.insert({Value(rest[1]), text});
    }
    // These commands once each and nothing else: Enter and Tab are keys only.
    EXPECT_EQ(Commands.size(), items.size()) << "the menu holds commands not in the table";
    for (const auto &c : Commands) {
        ASSERT_EQ(1u, items.count(c.first)) << c.second;
        EXPECT_EQ(c.second, items.find(c.first)->second);
    }
    // The menu is resource 113 by its name.
    for (const char *header :
         {"IDR_MAIN_MENU MENU", "IDR_ACCELERATORS ACCELERATORS", "IDI_VANTRY ICON \"vantry.ico\""})
        EXPECT_NE(std::string::npos, rc.find(header)) << header;
}

TEST_F(ResourceScript, TheAcceleratorsAreTheCommandKeys)
{
    // (key, with Ctrl) -> command, as the menu texts' hints give them ("Ctrl-a,a" is
    // Ctrl+A and A alone, "<F1>" the F1 key); Z alone zooms too, and Enter and Tab are
    // keys without a menu item.
    std::set<std::tuple<std::string, bool, int>> expected = {
        {"\"Z\"", false, IDM_ZOOM}, {"VK_RETURN", false, IDM_ENTER}, {"VK_TAB", false, IDM_TAB}};
    for (const auto &c : Commands) {
        size_t at = c.second.find(" - Ctrl-");
        if (at == std::string::npos)
            continue;
        std::vector<std::string> keys = Split(c.second.substr(at + 8), ',');
        for (size_t k = 0; k < keys.size(); k++) {
            std::string letter = "\"" + std::string(1, (char)toupper(keys[k][0])) + "\"";
            expected.insert({keys[k] == "<F1>" ? "VK_F1" : letter, k == 0, c.first});
        }
    }
    size_t begin = rc.find("ACCELERATORS");
    ASSERT_NE(std::string::npos, begin);
    size_t end = rc.find("\nEND", begin);
    std::string table = rc.substr(begin, end - begin);
    std::set<std::tuple<std::string, bool, int>> found;
    size_t lines = 0;
    for (const std::string &line : Split(table, '\n')) {
        std::vector<std::string> f = Split(line, ',');
        if (f.size() < 3)
            continue;  // the table's header and BEGIN
        EXPECT_EQ("VIRTKEY", f[2]) << line;
        EXPECT_TRUE(f.size() == 3 || (f.size() == 4 && f[3] == "CONTROL")) << line;
        found.insert({f[0], f.size() == 4, (int)Value(f[1])});
        lines++;
    }
    EXPECT_EQ(expected.size(), lines);
    EXPECT_EQ(expected, found);
}

TEST_F(ResourceScript, TheBitmapsAreThoseTheDrawingCodeLoads)
{
    // The slot order of the drawing code, as the header's names give it. That each file
    // loads is the raster test's (TheResourceBitmapsHaveTheirSizesAndPictures).
    const long slots[BITMAP_COUNT] = {
        IDB_BUY,         IDB_SELL,         IDB_RISE3,        IDB_RISE4,
        IDB_RISE5,       IDB_FALL3,        IDB_FALL4,        IDB_FALL5,
        IDB_PORTFOLIO,   IDB_CHECK,        IDB_NO_CHECK,     IDB_NO_PORTFOLIO,
        IDB_ARROW_LEFT,  IDB_ARROW_RIGHT,  IDB_DOUBLE_LEFT,  IDB_DOUBLE_RIGHT,
        IDB_BOLD_LEFT,   IDB_BOLD_RIGHT,   IDB_BOLD_DOUBLE_LEFT, IDB_BOLD_DOUBLE_RIGHT,
        IDB_UP,          IDB_DOWN,
    };
    std::map<long, std::string> files;
    for (const std::string &line : Split(rc, '\n')) {
        std::istringstream words(line);
        std::string name, kind;
        if (!(words >> name >> kind) || kind != "BITMAP")
            continue;
        size_t after = 0;
        files[Value(name)] = Quoted(line, 0, &after);
    }
    EXPECT_EQ((size_t)BITMAP_COUNT, files.size());
    for (uint32_t s = 0; s < BITMAP_COUNT; s++) {
        EXPECT_EQ(slots[s], (long)BitmapResourceIds[s]) << "slot " << s;
        auto it = files.find(slots[s]);
        ASSERT_NE(files.end(), it) << "bitmap " << slots[s] << " has no resource";
        EXPECT_EQ("bmp" + std::to_string(slots[s]) + ".bmp", it->second);
    }
}

}  // namespace
