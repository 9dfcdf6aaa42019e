// Comma-separated text as spreadsheets and data vendors write it: quoted fields with
// doubled quotes inside, CR LF, LF or CR line ends, an optional UTF-8 byte-order mark.
#ifndef VANTRY_CSVREADER_H
#define VANTRY_CSVREADER_H

#include <stddef.h>
#include <stdint.h>

// The reader works on a text held in memory and cuts it into fields in place: each field
// is unquoted and zero-terminated inside the text itself, so the text must stay alive
// while the fields are used and is changed by reading.
struct CsvReader {
    char *text;          // the caller's text; one byte past length must be writable
    size_t length, pos;
    uint32_t line;       // line of the next unread byte, from 1
    char delimiter;      // ',' unless the first line holds none but ';' or a tab
    uint32_t openQuoteLine;  // line of a quoted field that ran to the end; 0 when none
};

// The most fields a record keeps; further fields of a longer record are dropped.
#define CSV_MAX_FIELDS 32

// Starts reading text (length bytes; text[length] is overwritten with a zero byte). A
// byte-order mark at the start is skipped; the delimiter is chosen from the first line.
void CsvBegin(CsvReader *reader, char *text, size_t length);

// Reads the next record that is not a blank line. Sets fields[0..*count - 1] to its
// fields (blanks around an unquoted field removed) and *line to the line it starts on.
// Returns 0 at the end of the text. A quoted field that never closes takes the rest of
// the text and sets openQuoteLine.
int CsvNextRecord(CsvReader *reader, char **fields, uint32_t *count, uint32_t *line);

#endif
