// The seven reporting functions: texts, captions, icons, and the 512-character bound.
#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "base/errors.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

const CapturedMessage &OnlyMessage()
{
    EXPECT_EQ(Messages.size(), 1u);
    static CapturedMessage none{"", "", 0};
    return Messages.empty() ? none : Messages.back();
}

TEST(Reporting, EachFunctionHasItsTextCaptionAndIcon)
{
    struct Case {
        void (*report)(const char *);
        const char *caption;
        const char *text;
        int icon;
    } cases[] = {
        {ReportInfo, "Vantry", "Fund overflow!", PLAT_ICON_INFORMATION},
        {ReportError, "Vantry Error", "Error: Fund overflow!", PLAT_ICON_STOP},
        {ReportInternal, "Vantry Internal Error", "Internal error: Fund overflow!",
         PLAT_ICON_STOP},
        // A warning shows the stop icon, like the errors.
        {ReportWarning, "Vantry Warning", "Warning: Fund overflow!", PLAT_ICON_STOP},
    };
    for (const Case &c : cases) {
        ClearMessages();
        c.report("Fund overflow!");
        const CapturedMessage &m = OnlyMessage();
        EXPECT_EQ(m.caption, c.caption);
        EXPECT_EQ(m.text, c.text);
        EXPECT_EQ(m.icon, c.icon);
    }
}

TEST(Reporting, Win32ShowsTheCodeInHexAndTheSystemTextBelow)
{
    PlatSetLastError(5);
    ReportWin32("CreateWindow (graph)");
    const CapturedMessage &m = OnlyMessage();
    EXPECT_EQ(m.caption, "Vantry WIN32 API Error");
    EXPECT_EQ(m.icon, PLAT_ICON_STOP);
    std::string expected = std::string("Error: CreateWindow (graph), GetLastError=0x00000005\n") +
                           strerror(5);
    EXPECT_EQ(m.text, expected);

    ClearMessages();
    PlatSetLastError(0xABCDEF);
    ReportWin32("x");
    EXPECT_EQ(OnlyMessage().text.substr(0, 33), "Error: x, GetLastError=0x00ABCDEF");
}

TEST(Reporting, FileNotFoundIsCodeTwoOnEveryPlatform)
{
    errno = ENOENT;
    EXPECT_EQ(PlatLastError(), PLAT_ERROR_FILE_NOT_FOUND);
}

TEST(Reporting, CrtAndWinsockShowTheirCodesInDecimal)
{
    errno = 22;
    ReportCrt("_beginthreadex");
    EXPECT_EQ(OnlyMessage().caption, "Vantry C Run-time Library Error");
    EXPECT_EQ(OnlyMessage().text, "Error: _beginthreadex, errno=22");

    ClearMessages();
    errno = 111;
    ReportWinsock("connect");
    EXPECT_EQ(OnlyMessage().caption, "Vantry Winsock Error");
    EXPECT_EQ(OnlyMessage().text, std::string("Error: connect, WSAGetLastError=111\n") +
                                      strerror(111));
}

TEST(Reporting, LongTextsAreCutToTheBuffer)
{
    std::string longArgument(2000, 'x');
    void (*plain[])(const char *) = {ReportInfo, ReportError, ReportInternal, ReportWarning,
                                     ReportCrt};
    for (auto report : plain) {
        ClearMessages();
        report(longArgument.c_str());
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].text.size(), 511u);
    }
    ClearMessages();
    ReportError(longArgument.c_str());
    EXPECT_EQ(Messages[0].text, "Error: " + longArgument.substr(0, 504));

    // Win32 and WinSock: the first line cut, no room left for the system text.
    ClearMessages();
    PlatSetLastError(5);
    ReportWin32(longArgument.c_str());
    EXPECT_EQ(Messages[0].text, "Error: " + longArgument.substr(0, 504));
    ClearMessages();
    errno = 5;
    ReportWinsock(longArgument.c_str());
    EXPECT_EQ(Messages[0].text, "Error: " + longArgument.substr(0, 504));
}

TEST(Reporting, SystemTextIsCutWhereTheBufferEnds)
{
    // Leave room for exactly three characters of the system's text.
    const char *prefix = "Error: ";
    const char *middle = ", GetLastError=0x00000002\n";
    size_t argumentLength = 511 - 3 - strlen(prefix) - strlen(middle);
    std::string argument(argumentLength, 'a');
    PlatSetLastError(2);
    ReportWin32(argument.c_str());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text.size(), 511u);
    EXPECT_EQ(Messages[0].text.substr(508), std::string(strerror(2)).substr(0, 3));
}

TEST(Reporting, FileErrorsNameThePathAndLine)
{
    ReportFileError("C:\\d\\X.NAV", 3, "missing dist");
    EXPECT_EQ(OnlyMessage().text, "Error: C:\\d\\X.NAV(3): missing dist");
}

TEST(Reporting, FormatTextAlwaysTerminates)
{
    char small[8];
    memset(small, 'z', sizeof small);
    EXPECT_EQ(FormatText(small, sizeof small, "%s", "abcdefghijk"), 7u);
    EXPECT_STREQ(small, "abcdefg");
}

}  // namespace
