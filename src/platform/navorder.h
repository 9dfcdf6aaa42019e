// The fund-file name rules both platform twins share: what counts as a *.NAV name and the
// order an NTFS directory lists names in.
#ifndef VANTRY_NAVORDER_H
#define VANTRY_NAVORDER_H

#include <string.h>

// A name ending in ".NAV" in any case. Windows' own pattern match would also take names
// whose 8.3 short form ends so (FUND.NAVX is FUND~1.NAV), which are no fund files.
static inline int IsNavFileName(const char *name)
{
    size_t n = strlen(name);
    if (n < 4)
        return 0;
    const char *ext = name + n - 4;
    return ext[0] == '.' && (ext[1] | 0x20) == 'n' && (ext[2] | 0x20) == 'a' &&
           (ext[3] | 0x20) == 'v';
}

static inline int NtfsUpper(int c)
{
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

// qsort comparator of two char* names: by upper-cased bytes, as NTFS collates (bytes
// above 0x7F as they stand), then by the bytes themselves for a fixed order.
static inline int CompareNtfsOrder(const void *a, const void *b)
{
    const unsigned char *x = *(const unsigned char *const *)a;
    const unsigned char *y = *(const unsigned char *const *)b;
    for (;; x++, y++) {
        int cx = NtfsUpper(*x), cy = NtfsUpper(*y);
        if (cx != cy)
            return cx - cy;
        if (cx == 0)
            break;
    }
    return strcmp(*(const char *const *)a, *(const char *const *)b);
}

#endif
