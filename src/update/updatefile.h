// The merge of the incremental update file into the data directory's files.
#ifndef VANTRY_UPDATEFILE_H
#define VANTRY_UPDATEFILE_H

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
// as a line. A target whose last line has no line end gets one before a text is added, so
// the text never runs on into that line. Status texts go out as progress code 5.
// Returns 0, or 1 when "update.dat" cannot be opened ("Update: Can't open %supdate.dat.",
// ReportCrt).
int ApplyUpdateFile(void);

#endif
