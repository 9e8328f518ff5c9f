// scene_helpers.h - what the scene tests share: a chunk writer that knows only the file layout (not the program's
// tables or saver), a scene with every file field set, and the Base module's block counters.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "scene/scenefile.h"
#include "support/support.h"

inline std::string Bytes(const void* p, size_t n) { return std::string((const char*)p, n); }
inline std::string Zpack(const std::string& data) {
    uLongf room = compressBound(data.size());
    std::string out(room, '\0');
    return compress2((Bytef*)out.data(), &room, (const Bytef*)data.data(), data.size(), 9), out.substr(0, room);
}

struct ChunkWriter {
    std::string bytes;
    // Every header field as given (the file is little-endian, as this host).
    void raw(uint8_t type, uint8_t kind, int32_t count, int32_t size, int32_t packed, int32_t index, const std::string& payload) {
        bytes += std::string("F!") + (char)type + (char)kind;
        for (int32_t v : {count, size, packed, index}) bytes += Bytes(&v, 4);
        bytes += payload;
    }
    void chunk(uint8_t type, uint8_t kind, int32_t index, int32_t count, const void* data, size_t elemSize, bool packed = false) {
        std::string p = Bytes(data, (size_t)count * elemSize), z = packed ? Zpack(p) : p;
        raw(type, kind, count, (int32_t)p.size(), packed ? (int32_t)z.size() : 0, index, z);
    }
    void i32(uint8_t kind, int32_t index, int32_t v, bool packed = false) { chunk(3, kind, index, 1, &v, 4, packed); }
    void f32(uint8_t kind, int32_t index, float v, bool packed = false) { chunk(4, kind, index, 1, &v, 4, packed); }
    void u8(uint8_t kind, int32_t index, uint8_t v, bool packed = false, uint8_t type = 1) { chunk(type, kind, index, 1, &v, 1, packed); }
    void flag(uint8_t kind, int32_t index, uint8_t v) { u8(kind, index, v, false, 13); }
    void vec(uint8_t kind, int32_t index, Vector v, bool packed = false) { chunk(6, kind, index, 1, &v, 12, packed); }
    void str(uint8_t kind, int32_t index, const std::string& s, bool packed = true) {
        char rec[256] = {(char)s.size()};
        chunk(8, kind, index, 1, (char*)memcpy(rec + 1, s.data(), s.size()) - 1, 256, packed);
    }
};

inline void LoadBytes(Scene& s, const std::string& bytes, const char* name = "test.vlm", SceneLoadStats* stats = nullptr) {
    LoadSceneData(s, S(name), (const uint8_t*)bytes.data(), bytes.size(), stats);
}

extern "C" size_t BS_MemLabelBytes(const char* label) __attribute__((weak));
extern "C" size_t BS_MemCount(void) __attribute__((weak));
inline size_t LiveBlocks() { return BS_MemCount ? BS_MemCount() : 0; }
inline size_t LabelBytes(const std::string& label) { return BS_MemLabelBytes ? BS_MemLabelBytes(label.c_str()) : 0; }

// The failure `run` ends in, through the fail hook.
inline Failure FailureOf(const std::function<void()>& run) {
    ThrowOnFailure hook;
    try { run(); } catch (const Failure& f) { return f; }
    ADD_FAILURE() << "no failure";
    return Failure{FailRunError, -1, "no failure"};
}

template <class T> T* TestBlock(int64_t n) { return (T*)Base.BS_MemGet(n * sizeof(T), "test scene data"); }

// Gives every value field its own value: floats from a sequence that avoids friendly numbers, integers and bytes
// counting up, flags alternating.
struct Filler {
    float seed = 0.1f;
    int n = 0;
    float next() { return seed = seed > 700 ? seed - 697.3f : seed * 1.37f + 0.731f; }
    void operator()(float& x) { x = next(); }
    void operator()(Vector& v) { v = Vector{next(), -next(), next()}; }
    void operator()(TexCoord& t) { t = TexCoord{next(), next()}; }
    void operator()(TrackKey& k) { k.frame = ++n, (*this)(k.point); }
    void operator()(RotationKey& k) { k.frame = ++n, (*this)(k.quat); }
    void operator()(int32_t& i) { i = ++n; }
    void operator()(uint8_t& b) { b = (uint8_t)++n; }
    void operator()(bool& b) { b = ++n % 2; }
    void operator()(ShortString& s) { s = S("text " + std::to_string(++n)); }
    template <size_t N> void operator()(float (&a)[N]) { for (float& x : a) x = next(); }
    template <class T> void operator()(T&) {}  // GL names, lights, arrays: made apart
    template <class T> T* array(int32_t count) {
        T* a = TestBlock<T>(count);
        return std::for_each(a, a + count, [this](T& e) { (*this)(e); }), a;
    }
};
// With a Filler `fill` and a record `r`: X-macro arguments filling its fields.
#define FILL_FIELD(type, name) fill(r.name);
#define FILL_NOTHING(type, name, count)

// Every file field set: two materials; objects "hull" (colours, uvs, normals, all three tracks), "plain" (uvs, rotation
// keys, drawn as a strip) and "emitter" (no faces, nothing optional); both camera tracks; eight lights, 2 and 5 on
// tracks. Depths are 24, what loading sets, so that saving a loaded copy gives the same bytes.
inline void MakeRichScene(Scene& s) {
    Filler fill;
    s = Scene{};
    s.name = S("rich scene"), s.sceneparam = 77, s.materialcount = 2, s.objectcount = 3;
    fill(s.camerafov), fill(s.cameranear), fill(s.camerafar), fill(s.viewdistance), fill(s.materialscale);
    s.materials = TestBlock<Material>(2), s.objects = TestBlock<SceneObject>(3);
    for (int i = 0; i < 2; ++i) {
        Material& r = s.materials[i] = Material{};
        MATERIAL_FIELDS(FILL_FIELD, FILL_NOTHING, FILL_NOTHING)
        r.name = S(i ? "steel" : "glass"), r.texturename = S(i ? "steel.tga" : "$framebuffer$.jpg"), r.depth = 24;
    }
    for (int i = 0; i < 3; ++i) {
        SceneObject& r = s.objects[i] = SceneObject{};
        SCENE_OBJECT_FIELDS(FILL_FIELD, FILL_NOTHING, FILL_NOTHING)
        r.name = S(i == 0 ? "hull" : i == 1 ? "plain" : "emitter");
        r.material = i % 2, r.passno = i, r.rendermode = (uint8_t)(i == 1 ? 1 : 2), r.particleenabled = i == 2;
        r.hasnormals = r.hascolors = i == 0, r.hasuv = i < 2;
        r.vertexcount = r.facecount = r.poskeycount = r.rotkeycount = r.scalekeycount = r.striplength = 0;
        if (i == 2) continue;
        int32_t n = r.vertexcount = 5 + i, faces = r.facecount = 4 + i;
        r.vertices = fill.array<Vector>(n), r.uvs = fill.array<TexCoord>(n);
        r.faces = TestBlock<Face>(faces), r.origfaces = TestBlock<Face>(faces), r.neighbours = TestBlock<FaceNeighbours>(faces);
        for (int32_t k = 0; k < faces; ++k) {
            r.faces[k] = Face{k % n, (k + 1) % n, (k + 2) % n}, r.origfaces[k] = Face{(k + 1) % n, k % n, (k + 2) % n};
            r.neighbours[k] = FaceNeighbours{{(k + 1) % faces, -1, k > 0 ? k - 1 : -1}};
        }
        r.rotkeycount = 2 - i, r.rotkeys = fill.array<RotationKey>(r.rotkeycount);
    }
    SceneObject &hull = s.objects[0], &plain = s.objects[1];
    hull.colors = fill.array<Vector>(5), hull.normals = fill.array<Vector>(5);
    hull.poskeycount = 3, hull.poskeys = fill.array<TrackKey>(3), hull.scalekeycount = 1, hull.scalekeys = fill.array<TrackKey>(1);
    plain.striplength = 6, plain.strip = TestBlock<uint16_t>(6);
    for (int k = 0; k < 6; ++k) plain.strip[k] = (uint16_t)(5 - k);
    s.camposkeycount = 3, s.camposkeys = fill.array<TrackKey>(3), s.camtargetkeycount = 2, s.camtargetkeys = fill.array<TrackKey>(2);
    for (int l = 0; l < SceneLightCount; ++l) {
        SceneLight& r = s.lights[l];
        SCENE_LIGHT_FIELDS(FILL_FIELD, FILL_NOTHING, FILL_NOTHING)
        r.name = S("light" + std::to_string(l)), r.poskeycount = l == 2 ? 2 : l == 5;
        r.poskeys = r.poskeycount ? fill.array<TrackKey>(r.poskeycount) : nullptr;
    }
}
