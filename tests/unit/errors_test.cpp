// The seven reporting functions: texts, captions, icons, and the 512-character bound
// (ReportFileError's form is in every file message of the tokenizer and parser tests).
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

// Each function with the error code it reads set first (0xABCDEF: all eight hex digits),
// then with an argument too long for the 511 characters a text may have.
TEST(Reporting, EachFunctionHasItsTextCaptionAndIconAndCutsLongTexts)
{
    const std::string system5 = strerror(5), system111 = strerror(111);
    struct Case {
        void (*report)(const char *);
        uint32_t lastError;  // the code the function reads (GetLastError, errno, WSAGetLastError)
        const char *caption;
        std::string text;
        int icon;
    } cases[] = {
        {ReportInfo, 0, "Vantry", "Fund overflow!", PLAT_ICON_INFORMATION},
        {ReportError, 0, "Vantry Error", "Error: Fund overflow!", PLAT_ICON_STOP},
        {ReportInternal, 0, "Vantry Internal Error", "Internal error: Fund overflow!",
         PLAT_ICON_STOP},
        // A warning shows the stop icon, like the errors.
        {ReportWarning, 0, "Vantry Warning", "Warning: Fund overflow!", PLAT_ICON_STOP},
        // Win32 shows its code in hex and the system's text below; the C library and
        // WinSock theirs in decimal.
        {ReportWin32, 5, "Vantry WIN32 API Error",
         "Error: Fund overflow!, GetLastError=0x00000005\n" + system5, PLAT_ICON_STOP},
        {ReportWin32, 0xABCDEF, "Vantry WIN32 API Error",
         "Error: Fund overflow!, GetLastError=0x00ABCDEF\n" + std::string(strerror(0xABCDEF)),
         PLAT_ICON_STOP},
        {ReportCrt, 22, "Vantry C Run-time Library Error", "Error: Fund overflow!, errno=22",
         PLAT_ICON_STOP},
        {ReportWinsock, 111, "Vantry Winsock Error",
         "Error: Fund overflow!, WSAGetLastError=111\n" + system111, PLAT_ICON_STOP},
    };
    const std::string longArgument(2000, 'x');
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ClearMessages();
        PlatSetLastError(c.lastError);
        c.report("Fund overflow!");
        const CapturedMessage &m = OnlyMessage();
        EXPECT_EQ(m.caption, c.caption);
        EXPECT_EQ(m.text, c.text);
        EXPECT_EQ(m.icon, c.icon);
        // The prefix and the argument's start fill the text: no room is left for the codes
        // or the system's text.
        std::string prefix = c.text.substr(0, c.text.find("Fund overflow!"));
        ClearMessages();
        c.report(longArgument.c_str());
        EXPECT_EQ(OnlyMessage().text, prefix + longArgument.substr(0, 511 - prefix.size()));
    }
}

TEST(Reporting, TheSystemsTextIsCutToTheBufferAndFormatTextAlwaysTerminates)
{
    // Room for exactly three characters of the system's text.
    std::string argument(511 - 3 - strlen("Error: , GetLastError=0x00000002\n"), 'a');
    PlatSetLastError(2);
    ReportWin32(argument.c_str());
    EXPECT_EQ(OnlyMessage().text.substr(508), std::string(strerror(2)).substr(0, 3));
    EXPECT_EQ(OnlyMessage().text.size(), 511u);

    char small[8];
    memset(small, 'z', sizeof small);
    EXPECT_EQ(FormatText(small, sizeof small, "%s", "abcdefghijk"), 7u);
    EXPECT_STREQ(small, "abcdefg");
}

}  // namespace
