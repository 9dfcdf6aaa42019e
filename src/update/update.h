// The online update: the FTP session with the update server and the merge of the
// incremental update file into the data directory.
#ifndef VANTRY_UPDATE_H
#define VANTRY_UPDATE_H

#include <stddef.h>
#include <stdint.h>

// The update server. Both come from the build (the CMake cache variables
// VANTRY_UPDATE_HOST and VANTRY_UPDATE_PORT); the tests of the session point them at
// their own server (SetUpdateServer).
#define UPDATE_HOST_SIZE 256
extern char UpdateServerHost[UPDATE_HOST_SIZE];
extern uint16_t UpdateServerPort;

// The longest silence the session bears, in seconds: no reply on the control connection,
// no data connection and no bytes on it for this long end the session with a report.
// From the build (VANTRY_UPDATE_TIMEOUT, 60 by default).
extern uint32_t UpdateTimeoutSeconds;
// A whole reply must come within that bound and in at most 100 lines. A file transfer
// must end within the bound plus one second for every UPDATE_MIN_BYTES_PER_SECOND bytes
// of its listed size (a 5 MB archive: about 85 minutes), whatever trickles in meanwhile.
#define UPDATE_MIN_BYTES_PER_SECOND 1024u

// The account the session logs in with.
#define UPDATE_ACCOUNT "datakeeper"
#define UPDATE_PASSWORD "Owl42Cat"

// Sets the server from "host:port" or a bare "host" (the port kept). Returns 1, or 0 and
// changes nothing when the host is empty or too long or the port is not a number from
// 1 to 65535.
int SetUpdateServer(const char *hostPort);

// The file dialog that lets the user choose the unzip program ("Find unzip program").
// Writes the chosen path (zero-terminated, at most size bytes with the terminator) and
// returns 1, or returns 0 when the user cancels. The Windows shell installs its open-file
// dialog; without a hook every choice counts as cancelled.
typedef int (*UpdateChooseUnzipFunc)(char *path, size_t size);
extern UpdateChooseUnzipFunc UpdateChooseUnzipHook;

// Adds every line of "update.dat" in DataDir to its target file unless the target
// already holds that exact line (applying the same file twice changes nothing). An update
// line is "target:text"; a line without ":" or whose target is not a plain file name of
// the data directory (a path separator, a zero byte or another control character, "."
// or "..", a device name), or that names "update.dat" or "opt" (the session's own files),
// is reported as a syntax error and skipped, and so is a line longer than 511 bytes,
// whole. A failed write to a target is reported too; the first 10 of these messages come
// one by one, then one with the number of the other syntax errors and one with that of
// the other failures. A target that cannot be opened, or that is a symbolic link, is
// skipped silently and never created. A piece of a longer line of a target never counts
// as a line. A
// target whose last line has no line end gets one before a text is added, so the text
// never runs on into that line. Status texts go out as progress code 5.
// Returns 0, or 1 when "update.dat" cannot be opened ("Update: Can't open %supdate.dat.",
// ReportCrt).
int ApplyUpdateFile(void);

// The backup of name in the data directory into out (DATA_PATH_SIZE bytes): "opt", "FUNDS"
// and "Index" add ".BAK", other names have their last three characters replaced by "BAK"
// ("A.NAV" -> "A.BAK", "data.zip" -> "data.BAK"), but for a fund file whose backup would
// take another backup's name ("opt.NAV", "Index.NAV", "data.NAV"), which adds ".BAK".
// Returns 0 when the path would not fit.
int BackupPath(const char *name, char *out);
// Where the full update sets name aside until it knows whether the unpacking succeeded:
// the whole name plus ".pending", so that no two files share it. Returns 0 / 1 as above.
int PendingPath(const char *name, char *out);

// Settles what an interrupted full update left under pending names (the program closed
// while the unzip program ran or its dialog was open): a set-aside file whose original is
// missing takes its name back; one whose original exists becomes the original's backup.
// Deletes nothing; a move that fails is reported and its file stays. Nothing is moved
// when the data directory is not writable. Called before every load and every session.
// Returns the number of pending files left.
uint32_t RecoverPendingBackups(void);

// The session of the Update menu, on the worker thread: full 0 fetches "update.dat" and
// "opt" and applies the update file; full 1 fetches "data.zip" and has the unzip program
// (UnzipProgram, chosen through UpdateChooseUnzipHook when unset or when it cannot be
// started) unpack it into the data directory after backing up the data set. Sends code 9
// first, status texts (code 5) before each step, the status line and code 8 at its end;
// every failure is reported once and ends the session, which also ends after
// UpdateTimeoutSeconds of silence, and when the server replies with an error or closes
// the control connection while a data connection is awaited. Data connections count only
// from the server's address. A file whose size differs from its listing's fails, and each
// file replaces the local copy (moved to its backup) only once it arrived whole. A full
// update counts only when the unzip program ran, ended with exit code 0 or 1 and brought
// at least one fund file; otherwise the backed-up files and their older backups are back
// as they were. An older backup is replaced only by a file that exists.
// Returns 1 when new data arrived and the caller is to restart the load, else 0. The
// caller closes and clears the worker's handle and then posts the restart.
int UpdateThread(int full);

#endif
