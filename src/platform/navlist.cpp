// The fund-file listing's name list: collected by each platform, sorted here.
#include "platform/navlist.h"

#include <stdlib.h>
#include <string.h>

#include "platform/navorder.h"

PlatNavListing *NavListNew(int pending)
{
    PlatNavListing *listing = (PlatNavListing *)calloc(1, sizeof(PlatNavListing));
    if (listing)
        listing->pending = pending;
    return listing;
}

static int IsPendingName(const char *name)
{
    static const char suffix[] = ".pending";
    size_t n = strlen(name), k = sizeof suffix - 1;
    if (n <= k)
        return 0;
    for (size_t i = 0; i < k; i++)
        if ((name[n - k + i] | 0x20) != suffix[i])
            return 0;
    return 1;
}

int NavListAdd(PlatNavListing *listing, const char *name)
{
    if (listing->pending ? !IsPendingName(name) : !IsNavFileName(name))
        return 1;
    if (listing->count == listing->room) {
        size_t room = listing->room ? listing->room * 2 : 64;
        char **grown = (char **)realloc(listing->names, room * sizeof(char *));
        if (!grown)
            return 0;
        listing->names = grown;
        listing->room = room;
    }
    size_t n = strlen(name);
    char *copy = (char *)malloc(n + 1);
    if (!copy)
        return 0;
    memcpy(copy, name, n + 1);
    listing->names[listing->count++] = copy;
    return 1;
}

PlatNavListing *NavListFinish(PlatNavListing *listing)
{
    if (listing && listing->count == 0) {
        PlatNavListClose(listing);
        return nullptr;
    }
    if (listing)
        qsort(listing->names, listing->count, sizeof(char *), CompareNtfsOrder);
    return listing;
}

const char *PlatNavListName(PlatNavListing *listing)
{
    return listing->names[listing->current];
}

int PlatNavListNext(PlatNavListing *listing)
{
    if (listing->current + 1 >= listing->count)
        return 0;
    listing->current++;
    return 1;
}

void PlatNavListClose(PlatNavListing *listing)
{
    if (!listing)
        return;
    for (size_t i = 0; i < listing->count; i++)
        free(listing->names[i]);
    free(listing->names);
    free(listing);
}
