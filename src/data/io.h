// The byte-at-a-time file layer over 512-byte blocks: one file open at a time per thread.
#ifndef VANTRY_IO_H
#define VANTRY_IO_H

#include <stdint.h>

#define IO_BUFFER_SIZE 512u
#define IO_GENERIC_READ 0x80000000u
#define IO_GENERIC_WRITE 0x40000000u
#define IO_READ_AHEAD 65536u

// Counts the files this thread opened, so that state kept beside the layer (the
// tokenizer's pending line end) can tell when it belongs to an earlier file.
extern thread_local uint32_t IoOpenCount;

// Opens path for reading (access IO_GENERIC_READ; shared read, sequential) or writing
// (any other access; created always, not shared) over the caller's 512-byte buffer.
// path and buffer must stay valid while the file is open. The layer's state belongs to
// the calling thread, so threads may each read a file of their own at the same time;
// reading takes the file IO_READ_AHEAD bytes at a time and hands them out in 512-byte
// fills. Returns 1, or 0 on failure:
// a missing file is silent, any other failure reports "Can't open %s".
int IoOpen(const char *path, uint32_t access, unsigned char *buffer);
// Closes the file without flushing. 1 / 0 ("CloseHandle(%s)").
int IoClose(void);
// The next byte 0-255, or -1 at end of file or on a read error ("ReadFile(%s)").
int IoXGetB(void);
// Pushes back the byte just read; only within the current buffer fill. 1, or 0 with
// "IoUngetB(%s)" when no byte of the fill has been taken.
int IoUngetB(void);
// The bytes of the current fill not yet taken, the fill refilled first when it is used up:
// *count of them at the result. *count is 0 at the end of the file and after a read error
// (reported as IoXGetB reports it). IoTake(n) then takes the first n of them (n at most
// *count), as n calls of IoXGetB would, so that IoUngetB works after it as after them. A
// reader that scans the fill itself makes two calls a line instead of one a byte.
const unsigned char *IoFill(uint32_t *count);
void IoTake(uint32_t n);
// Appends a byte, flushing a full buffer first. 1, or the 0 of a failed flush.
int IoXPutB(int byte);
// Writes the buffered bytes. A failed write still empties the buffer. 1 / 0.
int IoFlush(void);
// Back to the first byte (reading: an empty buffer; writing: an empty buffer).
void IoRewind(void);
// Size of the open file in bytes.
uint32_t IoFileSize(void);

#endif
