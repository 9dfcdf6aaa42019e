// The backups the update makes of the data directory's files, and the recovery of what an
// interrupted full update set aside.
#include "update/backup.h"

#include <string.h>

#include "base/errors.h"
#include "data/load.h"
#include "data/sidefiles.h"
#include "platform/platform.h"

#define PENDING_SUFFIX ".pending"

// The names whose backup is the name plus ".BAK", and the stems of the other backups the
// update makes ("data.BAK" of data.zip, "update.BAK" of update.dat).
static const char *const NamedDataFiles[] = {"opt", "FUNDS", "Index"};
static const char *const BackupStems[] = {"opt", "FUNDS", "Index", "data", "update"};

static int SameNameAnyCase(const char *a, size_t aLength, const char *b)
{
    size_t n = strlen(b);
    if (aLength != n)
        return 0;
    for (size_t i = 0; i < n; i++)
        if (((unsigned char)a[i] | 0x20) != ((unsigned char)b[i] | 0x20))
            return 0;
    return 1;
}

int BackupPath(const char *name, char *out)
{
    size_t length = strlen(name);
    int addSuffix = 0;
    for (const char *named : NamedDataFiles)
        addSuffix |= strcmp(name, named) == 0;
    // A fund file "opt.NAV" would otherwise share "opt.BAK" with opt (and on Windows
    // "OPT.NAV" too): it keeps its whole name.
    for (const char *stem : BackupStems)
        addSuffix |= length > 4 && SameNameAnyCase(name, length - 4, stem) &&
                     SameNameAnyCase(name + length - 4, 4, ".NAV");
    char backup[DATA_PATH_SIZE];
    if (addSuffix)
        FormatText(backup, sizeof backup, "%s.BAK", name);
    else
        FormatText(backup, sizeof backup, "%.*sBAK", (int)(length >= 3 ? length - 3 : 0), name);
    return DataPath(backup, out);
}

int PendingPath(const char *name, char *out)
{
    char pending[DATA_PATH_SIZE];
    size_t length = strlen(name);
    if (length + sizeof PENDING_SUFFIX > sizeof pending)
        return 0;
    memcpy(pending, name, length);
    memcpy(pending + length, PENDING_SUFFIX, sizeof PENDING_SUFFIX);
    return DataPath(pending, out);
}

static int MoveReported(const char *from, const char *to, int replace)
{
    if (replace ? PlatReplaceFile(from, to) : PlatMoveFile(from, to))
        return 1;
    uint32_t code = PlatLastError();
    char text[REPORT_BUFFER_SIZE];
    FormatText(text, sizeof text, "Update: MoveFile(%s,%s)", from, to);
    PlatSetLastError(code);
    ReportWin32(text);
    return 0;
}

uint32_t RecoverPendingBackups(void)
{
    PlatNavListing *listing = PlatPendingListFirst(DataDir);
    if (!listing)
        return 0;
    uint32_t left = 0;
    do {
        const char *pendingName = PlatNavListName(listing);
        char name[DATA_PATH_SIZE], pending[DATA_PATH_SIZE], path[DATA_PATH_SIZE],
            backup[DATA_PATH_SIZE];
        size_t length = strlen(pendingName) - (sizeof PENDING_SUFFIX - 1);
        memcpy(name, pendingName, length);
        name[length] = 0;
        if (!DataDirWritable || !DataPath(pendingName, pending) || !DataPath(name, path) ||
            !BackupPath(name, backup)) {
            left++;
            continue;
        }
        // Missing: the update stopped before the unpacking brought the file back, and the
        // set-aside copy is the user's data. Present: it is the update's, and the copy
        // becomes its backup as a finished update would have made it. Every session first
        // comes here, so an existing backup is older than the set-aside copy.
        int moved = PlatPathExists(path) ? MoveReported(pending, backup, 1)
                                         : MoveReported(pending, path, 0);
        if (!moved)
            left++;
    } while (PlatNavListNext(listing));
    PlatNavListClose(listing);
    return left;
}
