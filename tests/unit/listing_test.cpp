// The fund-file listing: extension without regard to case, directories skipped, the order
// an NTFS directory gives (upper-cased bytes), and no listing without a fund file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

std::vector<std::string> Listing(const std::string &dir)
{
    std::vector<std::string> names;
    PlatNavListing *l = PlatNavListFirst((dir + "/").c_str());
    if (!l)
        return names;
    do
        names.push_back(PlatNavListName(l));
    while (PlatNavListNext(l));
    PlatNavListClose(l);
    return names;
}

TEST(NavListing, CaseInsensitiveExtensionInNtfsOrder)
{
    // No fund file: an empty directory, one of other files only, or none at all.
    std::string dir = MakeTempDir();
    EXPECT_TRUE(Listing(dir).empty());
    WriteFile(dir, "notes.txt", "x");
    EXPECT_TRUE(Listing(dir).empty());
    EXPECT_TRUE(Listing("/nonexistent-vantry-dir").empty());
    for (const char *name : {"b.nav", "A.NAV", "_x.NAV", "Z.Nav", "c.NAVX", "README", "a1.nav",
                             "NAV", "d.nav.bak", "Ab.NAV"})
        WriteFile(dir, name, "NAME=x\n");
    mkdir((dir + "/DIR.NAV").c_str(), 0755);
    // "_" (0x5F) sorts after the letters once they are upper-cased, "1" before them.
    EXPECT_EQ(Listing(dir),
              (std::vector<std::string>{"A.NAV", "a1.nav", "Ab.NAV", "b.nav", "Z.Nav", "_x.NAV"}));
}

}  // namespace
