// bench_layers: the engine's own cost of drawing interface layers per frame.
//
// 22 layer sets of 8 layers (as many sets as the show loads), each layer
// with 8 keys and every ease kind, drawn for 1000 frames at moving times
// through the recording GL with tracing off (a null GL), so the figure is
// the key choice, easing and call making, not a driver's work.
#include <stdio.h>

#include <chrono>
#include <string>

#include "glbind/glbind.h"
#include "layers/layers.h"
#include "layers/layers_internal.h"
#include "recgl/recgl.h"
#include "support/support.h"

int main() {
    BindLinkedBase();
    RecglUse();
    GlBind();
    GluBind();
    RecglTracing(false);
    const int sets = 22, layers = 8, keys = 8, frames = 1000;
    InterfaceLayerSet all[sets] = {};
    for (int s = 0; s < sets; ++s) {
        std::string text = std::to_string(layers) + "\n0\n";
        for (int l = 0; l < layers; ++l) {
            text += (l % 3 ? "pic.tga" : l % 2 ? "RT" : "feher.tga");
            text += "\n\n\n" + std::to_string(keys) + "\n" + std::to_string(l % 6) + "\n";
            for (int k = 0; k < keys; ++k)
                text += std::to_string(k * 125) + " " + std::to_string(100 + k * 10) + " 300 " + std::to_string(k % 3) +
                        " " + std::to_string(k * 45) + " 512 384 255 128 64 " + std::to_string(k * 30) + "\n";
        }
        ifeParse(all[s], text, S("bench.ife"));
    }
    auto t0 = std::chrono::steady_clock::now();
    for (int f = 0; f < frames; ++f)
        for (int s = 0; s < sets; ++s) ifeDraw(all[s], (float)((f * 7 + s * 31) % 1100));
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    printf("ifeDraw: %d sets x %d layers x %d keys, %d frames: %.1f ms, %.3f ms per frame (%.2f us per layer)\n",
           sets, layers, keys, frames, ms, ms / frames, ms * 1000 / (frames * sets * layers));
    for (InterfaceLayerSet& s : all) ifeFreeWith(s, nullptr);
    return 0;
}
