// scene_helpers.h - what the scene tests share: an independent chunk writer,
// a fully populated scene, field-by-field comparison and a small JSON reader.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "scene/scenefile.h"

// The linked Base module opens "Base" beside the test program, where there is
// none: point it at the built module, which exports zlib's entry points.
void UseBuiltBaseModule();

// A chunk writer that knows only the file layout (not the program's tables
// or saver): header fields as given, payload packed with zlib when asked.
struct ChunkWriter {
    std::string bytes;
    // Raw chunk: every header field as given.
    void raw(uint8_t type, uint8_t kind, int32_t count, int32_t size, int32_t packedSize, int32_t index,
             const std::string& payload);
    // A well-formed chunk of `count` elements of `elemSize` bytes.
    void chunk(uint8_t type, uint8_t kind, int32_t index, int32_t count, const void* data, size_t elemSize,
               bool packed = false);
    void i32(uint8_t kind, int32_t index, int32_t v, bool packed = false);
    void f32(uint8_t kind, int32_t index, float v, bool packed = false);
    void u8(uint8_t kind, int32_t index, uint8_t v, bool packed = false);
    void flag(uint8_t kind, int32_t index, bool v, bool packed = false);  // element type 13
    void vec(uint8_t kind, int32_t index, float x, float y, float z, bool packed = false);
    void str(uint8_t kind, int32_t index, const std::string& s, bool packed = true);
    void junk(const std::string& filler) { bytes += filler; }
};

std::string Zpack(const std::string& data, int level = 9);
std::string Bytes(const void* p, size_t n);

// Loads bytes as a scene (failures throw Failure under ThrowOnFailure).
void LoadBytes(Scene& s, const std::string& bytes, const char* name = "test.vlm", SceneLoadStats* stats = nullptr);

// A scene with every file field set to a distinct value: two materials,
// three objects (one with colours, uvs, normals and all three tracks, one
// with nothing optional, one with no faces), both camera tracks and lights
// with and without tracks. Blocks come from BS_MemGet; ReleaseScene frees it.
void MakeRichScene(Scene& s);

// A small closed mesh object (a tetrahedron) for loader tests.
void MakeTetraScene(Scene& s, const char* name = "tetra");

// Compares every field the file carries (not the worked-out ones); each
// difference is one line "objects[1].pivot" etc. Empty when equal.
std::vector<std::string> FileFieldDifferences(const Scene& a, const Scene& b);

// Blocks alive in the Base module.
size_t LiveBlocks();
size_t LabelBytes(const std::string& label);

// Minimal JSON reader for the tool's output.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool b = false;
    double n = 0;
    std::string s;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;
    const Json& operator[](const std::string& key) const;
    const Json& operator[](size_t i) const;
    bool has(const std::string& key) const;
    std::vector<std::string> keys() const;
    float f() const { return (float)n; }
    int64_t i() const { return (int64_t)n; }
};
// Throws std::runtime_error on malformed text.
Json ParseJson(const std::string& text);
