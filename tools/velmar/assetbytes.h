// assetbytes.h - the byte-level pieces of scene import and export that the
// asset library leaves out, on plain bytes (no library, so the fuzz target
// compiles this unit alone):
//   - the target track of a 3DS camera: the library reads the keyframer's
//     target keys and drops them, so a target camera would lose its aim;
//   - what its glTF writer does not write: a camera bound to its node and
//     KHR_lights_punctual lights, added to the JSON it wrote.
// Every function checks each length against the bytes it has and answers
// false (with the reason) rather than trusting the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TdsKey {
    int32_t frame;
    float x, y, z;
};

// The target track of the 3DS camera `camera`, in the file's own axes: the
// keyframer's target keys in frame order (one per frame), or else the
// camera's fixed target as one key at frame 0. False when the file holds
// neither for that camera (or is no 3DS file).
bool tdsCameraTarget(const uint8_t* data, size_t size, const std::string& camera, std::vector<TdsKey>& keys);

// What is added to a glTF document:
//   nodes    a node name the writer wrote (a marker string, written exactly
//            once) and the JSON put in place of that string value: the real
//            name followed by more members ("\"Camera\",\"camera\":0");
//   members  top-level members, key and JSON value; an array or object that
//            is there already gets the new entries in front of its own.
struct GltfAdditions {
    std::vector<std::pair<std::string, std::string>> nodes;
    std::vector<std::pair<std::string, std::string>> members;
};

// Applies the additions to a .gltf document's text; false with `why` when
// the text is not a JSON object or a marker is not there exactly once.
bool gltfPatchJson(std::string& json, const GltfAdditions& add, std::string& why);

// The same on a binary glTF: its JSON chunk rewritten (padded with blanks to
// a multiple of 4 bytes), the lengths set again, the other chunks kept.
bool gltfPatchGlb(std::string& glb, const GltfAdditions& add, std::string& why);

// A JSON string literal (quotes included) of `text`; control characters
// escaped, other bytes kept.
std::string jsonQuoted(const std::string& text);
