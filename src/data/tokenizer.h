// The tokenizer: splits the file open in the Io layer into the data files' tokens.
#ifndef VANTRY_TOKENIZER_H
#define VANTRY_TOKENIZER_H

#include <stdint.h>

enum TokenKind {
    TOKEN_END_OF_FILE = 1,
    TOKEN_CARRIAGE_RETURN = 2,  // CR, or CR LF as one token
    TOKEN_LINE_FEED = 3,        // LF alone
    TOKEN_STRING = 4,           // a word, a run of 10+ digits, digits followed by a letter
    TOKEN_NUMBER_1 = 5,         // 5..13: a run of 1..9 digits (kind - 4 digits)
    TOKEN_NUMBER_9 = 13,
    TOKEN_COMMENT = 14,         // ";" alone
    TOKEN_EQUALS = 15,
    TOKEN_SLASH = 16,
    TOKEN_DOT = 17,
};

#define TOKEN_BUFFER_SIZE 512u

static inline int IsLineEnd(int kind)
{
    return kind == TOKEN_CARRIAGE_RETURN || kind == TOKEN_LINE_FEED;
}
static inline int IsNumberToken(int kind)
{
    return kind >= TOKEN_NUMBER_1 && kind <= TOKEN_NUMBER_9;
}
// Digits of a number token (0 for other kinds).
static inline int TokenDigits(int kind)
{
    return IsNumberToken(kind) ? kind - 4 : 0;
}

// The display name that messages use ("END OF FILE", "3 DIGIT NUMBER", ...).
const char *TokenName(int kind);

// The digit values of the last number token this thread read, first digit first (slots
// d1..d9).
extern thread_local uint8_t TokenDigitSlots[9];
// The value of the first n digit slots.
uint32_t DigitSlotsValue(int n);

// Forgets a line end left pending by GetNumber; called when a new file is opened.
void ResetTokenizer(void);
// Whether GetNumber left a line end pending for the file now open (the next token).
int LineEndPending(void);
// Reads the next token into buffer (512 bytes: at most 511 characters and a zero).
// fileName and line only serve the "token too long" message.
int GetToken(const char *fileName, unsigned line, char *buffer);
// The value of a NAME, URL or CATEGORY line: skips blanks, then every byte up to the line
// end (which is left for the caller). Returns TOKEN_STRING, or a line end or end of file
// with an empty text.
int GetRestOfLine(const char *fileName, unsigned line, char *buffer);
// A number of at most maxDigits digits (warns "too many digits" past it, up to six); any
// other token warns "unexpected token: ..." and skips to the line end, which is left for
// the caller, and gives 0.
uint32_t GetNumber(const char *fileName, unsigned line, int maxDigits, char *buffer);
// integer (6 digits) "." tenths sign-digit: the form in which doubles are saved.
double GetDecimal(const char *fileName, unsigned line, char *buffer);
// Reads bytes up to the line end or end of file and pushes back the line end's first
// byte, so that the next GetToken returns it.
void SkipToLineEnd(void);
// The text of "unexpected token: KIND" with ' "text"' for a word, into out.
void FormatUnexpectedToken(const char *path, unsigned line, int kind, const char *text,
                           char *out, unsigned outSize);

#endif
