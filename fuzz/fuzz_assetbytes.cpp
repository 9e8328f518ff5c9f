// The byte-level pieces of scene import and export: any bytes read as a 3DS
// file for its camera target, and as glTF text and binary glTF for the
// additions, give an answer without reading outside them; what they give
// holds together. (Tool unit: its source comes in here.)
#include "fuzz_support.h"
#include "tools/velmar/assetbytes.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<TdsKey> keys;
    if (tdsCameraTarget(data, size, "Camera01", keys))
        for (size_t i = 1; i < keys.size(); ++i)
            if (keys[i].frame <= keys[i - 1].frame) abort();  // in frame order, one a frame
    const std::string marker = "\x01" "0\x01";
    GltfAdditions add{{{marker, "\"Camera\",\"camera\":0"}},
                      {{"cameras", "[{\"type\":\"perspective\"}]"}, {"extensionsUsed", "[\"KHR_lights_punctual\"]"}}};
    std::string text((const char*)data, size), glb = text, why;
    if (gltfPatchJson(text, add, why) && text.find(jsonQuoted(marker)) != std::string::npos) abort();
    auto word = [&](size_t at) { return (uint32_t)(uint8_t)glb[at] | (uint32_t)(uint8_t)glb[at + 1] << 8 |
                                        (uint32_t)(uint8_t)glb[at + 2] << 16 | (uint32_t)(uint8_t)glb[at + 3] << 24; };
    if (gltfPatchGlb(glb, add, why) && (word(8) != glb.size() || word(12) % 4 || glb.compare(16, 4, "JSON") != 0)) abort();
    return 0;
}
