// The one allocation helper of the data set: zero-filled blocks counted in DynamicMemoryUsed.
#ifndef VANTRY_ALLOC_H
#define VANTRY_ALLOC_H

#include <stddef.h>
#include <stdint.h>

// Bytes held by the data set and the help texts; the About box shows it.
extern uint32_t DynamicMemoryUsed;

// Allocates count elements of size bytes, zero-filled, and adds their size to
// DynamicMemoryUsed. On failure (or a size that does not fit in 32 bits) shows the
// warning "Out of memory." and returns null. A request for 0 bytes returns null
// without a message. Each block remembers its own size, so freeing needs no count.
void *AllocZero(size_t count, size_t size);
// Resizes a block to newBytes, zero-filling any growth, and moves DynamicMemoryUsed by
// the difference. Resizing to 0 frees the block and returns null. On failure shows
// "Out of memory.", leaves the block as it was and returns null.
void *ResizeBlock(void *block, size_t newBytes);
// The size a block was allocated or resized to; 0 for null.
size_t BlockSize(const void *block);
// Frees a block and subtracts its size from DynamicMemoryUsed; null is fine.
void FreeBlock(void *block);
// A counted copy of the first length bytes of text, zero-terminated (length + 1 bytes);
// text must hold no zero byte among them.
char *CopyString(const char *text, size_t length);

#endif
