// The "searchMap" key of a series' "analyst" object.
#include "searchmapjson.h"

#include "analysis/searchmap.h"
#include "json.h"

namespace {

// 11 rows of 11 cells.
void PrintGrid(FILE *out, const double v[STRATEGY_THRESHOLDS][STRATEGY_THRESHOLDS])
{
    fputc('[', out);
    for (uint32_t r = 0; r < STRATEGY_THRESHOLDS; r++) {
        fputs(r ? ",[" : "[", out);
        for (uint32_t c = 0; c < STRATEGY_THRESHOLDS; c++) {
            if (c)
                fputc(',', out);
            JsonDouble(out, v[r][c]);
        }
        fputc(']', out);
    }
    fputc(']', out);
}

// "parameter", "percent", "chosen" and "trial" of one kind's map.
void PrintKindMap(FILE *out, const KindMap *k)
{
    fprintf(out, "\"parameter\":%u,\"percent\":%u,\"chosen\":[%u,%u],\"trial\":",
            (unsigned)k->parameter, (unsigned)k->percent, (unsigned)k->buy, (unsigned)k->sell);
    PrintGrid(out, k->annualized);
}

}  // namespace

void PrintSearchMapJson(FILE *out, const FundRecord *fund, int s)
{
    fputs(",\"searchMap\":", out);
    SearchMap map;
    if (!ComputeSearchMap(fund, s, SEARCH_MAP_WHOLE, &map) || !map.trial[map.kind - 1].kind) {
        fputs("null", out);
        return;
    }
    fprintf(out, "{\"kind\":%u,", (unsigned)map.kind);
    PrintKindMap(out, &map.trial[map.kind - 1]);
    fputs(",\"evaluation\":", out);
    if (map.hasEvaluation)
        PrintGrid(out, map.evaluation);
    else
        fputs("null", out);
    fputs(",\"robustness\":", out);
    if (map.robustnessDefined)
        JsonDouble(out, map.robustness);
    else
        fputs("null", out);
    fprintf(out, ",\"fragile\":%s,\"otherKinds\":{", map.fragile ? "true" : "false");
    int first = 1;
    for (uint32_t t = MA_UMA; t <= MA_VIDYA; t++) {
        if (t == map.kind)
            continue;
        fprintf(out, "%s\"%s\":", first ? "" : ",", MaKindLabel(t));
        first = 0;
        if (!map.trial[t - 1].kind) {
            fputs("null", out);
            continue;
        }
        fputc('{', out);
        PrintKindMap(out, &map.trial[t - 1]);
        fputc('}', out);
    }
    fputs("}}", out);
}
