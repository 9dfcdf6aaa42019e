// The backups the update makes of the data directory's files, and the recovery of what an
// interrupted full update set aside.
#ifndef VANTRY_BACKUP_H
#define VANTRY_BACKUP_H

#include <stdint.h>

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

#endif
