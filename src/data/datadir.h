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

#endif
