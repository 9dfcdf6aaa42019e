/* A Windows unzip program for the full-update tests under Wine: unpacks the archive named
   by its one argument (a Windows path such as Z:\tmp\data\data.zip) into the folder that
   holds it with Debian's /usr/bin/unzip, waits for it and ends with its exit code.

   Wine starts a Linux program from CreateProcess but gives no handle to wait on, so the
   shim runs it through /bin/sh, which writes the exit code to a marker file beside the
   archive when unzip has ended; the shim polls for that file (at most two minutes) and
   removes it. Exit codes: unzip's own, 90 for a usage error, 91 when a path cannot be
   translated, 92 when the shell cannot be started, 93 when no exit code came in time. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef char *(CDECL *UnixNameFunc)(LPCWSTR);

/* The Unix path of a Windows path, or NULL. */
static char *UnixPath(const char *windowsPath)
{
    UnixNameFunc unixName = (UnixNameFunc)(void *)GetProcAddress(GetModuleHandleA("kernel32"),
                                                                 "wine_get_unix_file_name");
    WCHAR wide[MAX_PATH * 2];
    if (!unixName || !MultiByteToWideChar(CP_ACP, 0, windowsPath, -1, wide, MAX_PATH * 2))
        return NULL;
    return unixName(wide);
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 90;
    const char *zip = argv[1];
    char folder[MAX_PATH], marker[MAX_PATH + 40], markerTemp[MAX_PATH + 48];
    const char *slash = strrchr(zip, '\\');
    if (!slash || (size_t)(slash - zip) >= sizeof folder - 1)
        return 90;
    memcpy(folder, zip, (size_t)(slash - zip));
    folder[slash - zip] = 0;
    snprintf(marker, sizeof marker, "%s\\unzipshim-%lu.rc", folder, GetCurrentProcessId());
    snprintf(markerTemp, sizeof markerTemp, "%s.tmp", marker);

    char *unixZip = UnixPath(zip), *unixFolder = UnixPath(folder);
    char *unixMarker = UnixPath(marker), *unixMarkerTemp = UnixPath(markerTemp);
    if (!unixZip || !unixFolder || !unixMarker || !unixMarkerTemp)
        return 91;

    /* The shell writes the code to a temporary name first and renames it, so the shim
       never reads a half-written marker. */
    char command[4 * MAX_PATH + 200];
    snprintf(command, sizeof command,
             "/bin/sh -c \"/usr/bin/unzip -o -qq -d '%s' '%s'; echo $? > '%s' && mv '%s' '%s'\"",
             unixFolder, unixZip, unixMarkerTemp, unixMarkerTemp, unixMarker);
    STARTUPINFOA startup = {.cb = sizeof startup};
    PROCESS_INFORMATION info = {0};
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return 92;
    if (info.hThread)
        CloseHandle(info.hThread);
    if (info.hProcess)
        CloseHandle(info.hProcess);

    for (int waited = 0; waited < 120000; waited += 20) {
        FILE *f = fopen(marker, "r");
        if (f) {
            int code = 93; /* unless the file holds a number */
            fscanf(f, "%d", &code);
            fclose(f);
            DeleteFileA(marker);
            return code;
        }
        Sleep(20);
    }
    return 93;
}
