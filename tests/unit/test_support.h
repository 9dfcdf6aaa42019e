// Shared helpers of the unit tests: captured message boxes, recorded progress reports and
// temporary data files.
#ifndef VANTRY_TEST_SUPPORT_H
#define VANTRY_TEST_SUPPORT_H

#include <stdint.h>

#include <string>
#include <vector>

struct CapturedMessage {
    std::string caption;
    std::string text;
    int icon;
};

// Every message box shown since the last ClearMessages (installed for every test).
extern std::vector<CapturedMessage> Messages;
void ClearMessages();
// The texts only, in order.
std::vector<std::string> MessageTexts();

// The progress reports RecordProgressCode received since the test started, in order: the code,
// and for a status text (code 5) a blank and the text ("5 First read pass").
extern std::vector<std::string> ProgressCodes;
// A progress sink for PlatSetProgressSink.
void RecordProgressCode(uint32_t code, const char *text);

// A fresh temporary directory, removed with its files when the test ends.
std::string MakeTempDir();
// A fresh temporary directory made the data directory (SetDataDir); its path without the
// final separator.
std::string MakeDataDir();
// Writes bytes to dir/name; returns the whole path.
std::string WriteFile(const std::string &dir, const std::string &name, const std::string &bytes);
std::string ReadWholeFile(const std::string &path);

#endif
