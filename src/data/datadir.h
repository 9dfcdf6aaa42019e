// The data directory: where every file the program reads and writes lives.
#ifndef VANTRY_DATADIR_H
#define VANTRY_DATADIR_H

#define DATA_PATH_SIZE 1024
#define DATA_DIR_SIZE 512

// The data directory, ending in the path separator.
extern char DataDir[DATA_DIR_SIZE];
// Sets DataDir from dir, adding the separator when missing. 0 when it does not fit.
int SetDataDir(const char *dir);
// DataDir followed by name, into out (DATA_PATH_SIZE bytes). 0 when it does not fit.
int DataPath(const char *name, char *out);
// 0 makes every writer of the data directory return without touching a file: the report
// tool's --read-only. 1 by default.
extern int DataDirWritable;
// Ends a temporary-file write: when written is 1, moves tempPath over path in one step
// ("Can't replace %s" with the platform error when that fails); otherwise, or on that
// failure, deletes tempPath. Returns 1 when path now holds the new content.
int CommitSideFile(const char *tempPath, const char *path, int written);

#endif
