// The page windows' places in the main window and the escaping of the tab texts.
#include "app/layout.h"

static LayoutRect Place(int32_t x, int32_t y, int32_t w, int32_t h)
{
    LayoutRect r = {x, y, w > 0 ? w : 0, h > 0 ? h : 0};
    return r;
}

static const LayoutRect Nowhere = {0, 0, 0, 0};

void ComputePageLayout(const LayoutInput *in, int kind, PageLayout *out)
{
    int32_t left = in->pageLeft, top = in->pageTop, right = in->pageRight;
    int32_t pw = in->pageRight - in->pageLeft, ph = in->pageBottom - in->pageTop;
    int32_t sw = in->sideWidth, sh = in->sideHeight, tw = in->topWidth, th = in->topHeight;
    int resize = kind == LAYOUT_RESIZE;

    // The fund list and its legend share the page: the legend at the right edge, the
    // list taking the rest. Resizing drops both when the rows would have no room for
    // the check mark, the portfolio mark and a name beside the legend.
    int32_t listRoom = in->legendWidth + 2 * in->borderWidth + in->scrollBarWidth +
                       in->checkWidth + in->portfolioWidth + 32;
    if (resize && (ph < 9 || pw <= listRoom)) {
        out->fundList = Nowhere;
        out->legend = Nowhere;
    } else {
        out->fundList = Place(left + 4, top + 4, pw - in->legendWidth - 12, ph - 8);
        // The build places the legend by the page's width, the resize by its right edge;
        // the two agree for a page that starts at the client's left edge.
        int32_t legendX = resize ? right - in->legendWidth - 4 : pw - in->legendWidth - 4;
        out->legend = Place(legendX, top + 4, in->legendWidth, ph - 8);
    }

    if (resize && (pw < 9 || ph < 9))
        out->keyHelp = Nowhere;
    else
        out->keyHelp = Place(left + 4, top + 4, pw - 8, ph - 8);
    out->manual = out->keyHelp;

    // The graph lies between the side strips and below the top strip.
    if (resize && !(pw > 2 * sw + 24 && ph > th + 16))
        out->graph = Nowhere;
    else
        out->graph = Place(left + sw + 12, top + th + 12, pw - (2 * sw + 24), ph - (th + 16));

    int32_t stripHeight = 6 * sh + 9;
    if (ph > stripHeight + 8 && pw > 2 * tw + 2 * sw + 29) {
        int32_t y = top + (ph - (resize ? 0 : 4) - stripHeight) / 2;
        out->leftArrows = Place(left + 4, y, sw + 4, stripHeight);
        out->rightArrows = Place(right - sw - 9, y, sw + 4, stripHeight);
    } else {
        out->leftArrows = Nowhere;
        out->rightArrows = Nowhere;
    }
    if (pw > 2 * sw + 2 * tw + 29 && ph > th + 12)
        out->topArrows = Place(left + (pw - 2 * tw - 5) / 2, top + 4, 2 * tw + 5, th + 4);
    else
        out->topArrows = Nowhere;
}

LayoutRect ProgressBarPlace(int32_t clientWidth, int32_t availableHeight, int32_t lineHeight)
{
    if (availableHeight < lineHeight)
        return Nowhere;
    return Place(clientWidth / 3, (availableHeight - lineHeight) / 2, clientWidth / 3, lineHeight);
}

void EscapeTabText(const char *text, char *out, size_t size)
{
    if (size == 0)
        return;
    size_t n = 0;
    for (const char *p = text ? text : ""; *p; p++) {
        size_t need = *p == '&' ? 2 : 1;
        if (n + need >= size)
            break;
        out[n++] = *p;
        if (*p == '&')
            out[n++] = '&';
    }
    out[n] = 0;
}

size_t UnescapeTabText(char *text)
{
    size_t n = 0;
    for (size_t i = 0; text[i]; i++) {
        text[n++] = text[i];
        if (text[i] == '&' && text[i + 1] == '&')
            i++;
    }
    text[n] = 0;
    return n;
}
