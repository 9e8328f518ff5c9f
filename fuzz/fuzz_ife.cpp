// Interface-layer reader: any text is read or refused, and every loaded
// layer evaluates to finite values at any time.
#include <cmath>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "layers/layers.h"
#include "layers/layers_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    // Messages go through the shared C-string buffer, which grows once.
    static bool grown = (ToCString(S(std::string(255, '.'))), true);
    (void)grown;
    size_t before = Base.BS_MemTotal();
    InterfaceLayerSet set{};
    try {
        ifeParse(set, std::string((const char*)data, size), S("fuzz.ife"));
    } catch (const FuzzFailure&) {
        // Refused: the program ends there; the target gives the blocks back
        // so it can run for hours, all of them.
        ifeFreeWith(set, nullptr);
        if (Base.BS_MemTotal() != before) abort();
        return 0;
    }
    for (int i = 0; i < set.count; ++i) {
        if (set.layers[i].keycount <= 0) abort();
        for (float t : {-1e9f, -1.0f, 0.0f, 0.5f, 333.0f, 1e9f}) {
            LayerState s = ifeEvaluate(set.layers[i], t);
            (void)s;
        }
    }
    ifeFreeWith(set, nullptr);
    if (Base.BS_MemTotal() != before) abort();
    return 0;
}
