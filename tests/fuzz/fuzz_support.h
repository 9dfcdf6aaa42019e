// Shared parts of the fuzz targets: silent message and progress sinks, a data directory of
// their own, and a check that stops the run (libFuzzer then saves the input).
#ifndef VANTRY_FUZZ_SUPPORT_H
#define VANTRY_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>

// Message boxes are dropped, so that an input drawing a warning per byte stays cheap; those
// since the last FuzzBegin whose text contains FuzzWatchedText (when set) are counted.
extern const char *FuzzWatchedText;
extern uint32_t FuzzWatchedCount;

// The folder that holds the data directory (ends without a separator).
extern char FuzzSandbox[64];

// Installs the sinks, creates the process's temporary directory on the first call (a
// folder "data" inside a folder of its own, removed at exit), makes it DataDir and
// deletes every file left in it. Clears the watched text and its count.
void FuzzBegin(void);
// Writes size bytes to DataDir + name.
void FuzzWriteFile(const char *name, const void *data, size_t size);
// The whole content of a file (empty when it cannot be read).
std::string FuzzReadFile(const char *path);
// The content of DataDir's file name.
std::string FuzzReadDataFile(const char *name);

// Aborts with the condition's text when it does not hold.
#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : FuzzFail(#condition, __FILE__, __LINE__))
[[noreturn]] void FuzzFail(const char *condition, const char *file, int line);

#endif
