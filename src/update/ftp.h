// The update session with the update server: where it is, how long it waits, and the
// session of the Update menu itself.
#ifndef VANTRY_FTP_H
#define VANTRY_FTP_H

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
