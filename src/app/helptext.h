// The help texts shown on the Key Help and Manual pages: a file read whole, and its lines.
#ifndef VANTRY_HELPTEXT_H
#define VANTRY_HELPTEXT_H

#include <stdint.h>

// One line: its first byte and its length in the text, without its line end.
struct HelpLine {
    uint32_t offset;
    uint32_t length;
};

// A help file: the whole text and its line table, both counted blocks (alloc.h); all
// zero when the file was not read.
struct HelpText {
    char *text;
    uint32_t size;
    HelpLine *lines;
    uint32_t count;
};

// The lines of size bytes of text: every carriage return ends a line, and a line feed
// right after it belongs to that line end; the text after the last carriage return is one
// more line. So a text ending in CR LF has no empty last line, and line feeds without a
// carriage return are part of the line they stand in. An empty text has no lines.
uint32_t CountHelpLines(const char *text, uint32_t size);
// Fills count = CountHelpLines(text, size) entries of lines.
void FillHelpLines(const char *text, uint32_t size, HelpLine *lines);

// Reads DataDir + name into help (which is freed first). With reportFailures clear (the
// key help) a file that cannot be opened or measured is skipped silently; with it set
// (the manual) they are reported as "Opening <label> file", "GetFileSize of <label>" and
// "ReadFile of <label>". A failed close is reported as "CloseHandle(<DataDir><name>)"
// either way. On a failure the text stays empty; "Out of memory." leaves it empty too.
// Returns 1 when the text was read.
int ReadHelpText(const char *name, const char *label, int reportFailures, HelpText *help);
// Frees the text and its line table and zeroes the record.
void FreeHelpText(HelpText *help);

#endif
