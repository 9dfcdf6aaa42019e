// The collected list of fund-file names behind PlatNavListing, shared by both twins.
#ifndef VANTRY_NAVLIST_H
#define VANTRY_NAVLIST_H

#include "platform/platform.h"

struct PlatNavListing {
    char **names;
    size_t count;
    size_t room;
    size_t current;
    int pending;  // lists *.pending names instead of fund files
};

// An empty list (of pending names when pending is 1), or null when out of memory.
PlatNavListing *NavListNew(int pending);
// Adds a copy of name when it is a fund-file name (*.NAV in any case), or for a list of
// pending names one ending in ".pending" (in any case). 0 when out of memory.
int NavListAdd(PlatNavListing *listing, const char *name);
// Sorts the names in NTFS order; frees the list and returns null when it is empty.
PlatNavListing *NavListFinish(PlatNavListing *listing);

#endif
