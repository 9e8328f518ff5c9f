// Interface-layer reader: any text is read or refused, and every loaded
// layer evaluates to finite values at any time.
#include "fuzz_support.h"
#include "layers/layers.h"
#include "layers/layers_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    size_t before = Base.BS_MemTotal();
    InterfaceLayerSet set{};
    if (Accepted([&] { ifeParse(set, std::string((const char*)data, size), S("fuzz.ife")); }))
        for (int i = 0; i < set.count; ++i) {
            if (set.layers[i].keycount <= 0) abort();
            for (float t : {-1e9f, -1.0f, 0.0f, 0.5f, 333.0f, 1e9f}) ifeEvaluate(set.layers[i], t);
        }
    // A refused file ends the program there; the target gives its blocks back
    // too, all of them, so it can run for hours.
    ifeFreeWith(set, nullptr);
    if (Base.BS_MemTotal() != before) abort();
    return 0;
}
