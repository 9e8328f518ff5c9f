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
    InterfaceLayerSet set{};
    try {
        ifeParse(set, std::string((const char*)data, size), S("fuzz.ife"));
    } catch (const FuzzFailure&) {
        return 0;  // refused; blocks of a refused file stay, as in the program
    }
    for (int i = 0; i < set.count; ++i) {
        if (set.layers[i].keycount <= 0) abort();
        for (float t : {-1e9f, -1.0f, 0.0f, 0.5f, 333.0f, 1e9f}) {
            LayerState s = ifeEvaluate(set.layers[i], t);
            (void)s;
        }
    }
    ifeFreeWith(set, nullptr);
    return 0;
}
