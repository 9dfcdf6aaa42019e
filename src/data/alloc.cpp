// Zero-filled, counted allocation of the data set's blocks.
#include "data/alloc.h"

#include <stdlib.h>
#include <string.h>

#include "base/errors.h"

uint32_t DynamicMemoryUsed;

// Each block is preceded by a header holding its size; 16 bytes keep the payload aligned
// for doubles on both Windows targets.
#define HEADER_BYTES 16

static void *Payload(void *raw) { return (char *)raw + HEADER_BYTES; }
static void *Raw(const void *payload) { return (char *)payload - HEADER_BYTES; }

// Workers allocate while the About box may read the counter, so it moves atomically.
static void CountBytes(size_t bytes, int sign)
{
    if (sign > 0)
        __atomic_fetch_add(&DynamicMemoryUsed, (uint32_t)bytes, __ATOMIC_RELAXED);
    else
        __atomic_fetch_sub(&DynamicMemoryUsed, (uint32_t)bytes, __ATOMIC_RELAXED);
}

void *AllocZero(size_t count, size_t size)
{
    if (count == 0 || size == 0)
        return nullptr;
    if (count > (0xFFFFFFFFu - HEADER_BYTES) / size) {
        ReportWarning("Out of memory.");
        return nullptr;
    }
    size_t bytes = count * size;
    void *raw = calloc(1, bytes + HEADER_BYTES);
    if (!raw) {
        ReportWarning("Out of memory.");
        return nullptr;
    }
    *(size_t *)raw = bytes;
    CountBytes(bytes, 1);
    return Payload(raw);
}

size_t BlockSize(const void *block)
{
    return block ? *(const size_t *)Raw(block) : 0;
}

void *ResizeBlock(void *block, size_t newBytes)
{
    if (!block)
        return AllocZero(newBytes, 1);
    if (newBytes == 0) {
        FreeBlock(block);
        return nullptr;
    }
    size_t oldBytes = BlockSize(block);
    if (newBytes > 0xFFFFFFFFu - HEADER_BYTES) {
        ReportWarning("Out of memory.");
        return nullptr;
    }
    void *raw = realloc(Raw(block), newBytes + HEADER_BYTES);
    if (!raw) {
        ReportWarning("Out of memory.");
        return nullptr;
    }
    *(size_t *)raw = newBytes;
    if (newBytes > oldBytes) {
        memset((char *)Payload(raw) + oldBytes, 0, newBytes - oldBytes);
        CountBytes(newBytes - oldBytes, 1);
    } else {
        CountBytes(oldBytes - newBytes, -1);
    }
    return Payload(raw);
}

void FreeBlock(void *block)
{
    if (!block)
        return;
    CountBytes(BlockSize(block), -1);
    free(Raw(block));
}

char *CopyString(const char *text, size_t length)
{
    char *copy = (char *)AllocZero(length + 1, 1);
    if (copy)
        memcpy(copy, text, length);
    return copy;
}
