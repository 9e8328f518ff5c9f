// The scene file: the saver's chunks, round trips, the loader's tolerance of what the format allows and its refusal of
// what would hurt later stages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <sstream>

#include "scene_helpers.h"

namespace {

using W = ChunkWriter;
const int32_t ElementSize[14] = {1, 1, 2, 4, 4, 8, 12, 16, 256, 12, 16, 20, 64, 1};

// Field name -> offset in its record.
using Offsets = std::map<std::string, size_t>;
#define OFFSET(type, name) {#name, offsetof(R, name)},
#define OFFSET_A(type, name, count) OFFSET(type, name)
Offsets SceneFields() { using R = Scene; return {SCENE_FIELDS(OFFSET, OFFSET_A, OFFSET_A)}; }
Offsets MaterialFields() { using R = Material; return {MATERIAL_FIELDS(OFFSET, OFFSET_A, OFFSET_A)}; }
Offsets ObjectFields() { using R = SceneObject; return {SCENE_OBJECT_FIELDS(OFFSET, OFFSET_A, OFFSET_A)}; }
Offsets LightFields() { using R = SceneLight; return {SCENE_LIGHT_FIELDS(OFFSET, OFFSET_A, OFFSET_A)}; }

// The saver's chunks of each record in order, written from the format (not the program's tables): kind/element type,
// "p" when packed, then the field (an array: field:count).
const char SceneOrder[] =
    "87/3 chunkcount 1/1 versionmajor 2/1 versionminor 3/8p name 4/3 sceneparam 5/3 materialcount 6/3 objectcount 7/4 camerafov 8/4 cameranear "
    "9/4 camerafar 10/3 camposkeycount 11/3 camtargetkeycount 84/4 viewdistance 90/4 materialscale";
const char MaterialOrder[] =
    "12/8p name 13/8p texturename 14/8p envmaptexture 15/4 transparency 16/4 utile 17/4 vtile 18/4 alphatest 19/4 constantalpha 20/4 flaresize "
    "92/4 envmapalpha 93/6 envmapcolor 94/13 envmapblend 21/3 magtype 22/3 shine 23/13 envmap 24/13 receivelight 25/13 textured 26/1 depthtest "
    "82/1 depthfunc 27/1 blend 28/1 texturewrap 29/1 depth 30/6 ambient 31/6 diffuse 32/6 specular";
const char ObjectOrder[] =
    "33/8p name 34/3 vertexcount 35/3 facecount 36/3 material 37/3 poskeycount 38/3 rotkeycount 39/3 scalekeycount 40/3 striplength 41/3 passno "
    "42/13 hasuv 43/13 hascolors 44/13 hasnormals 45/13 visible 46/13 backfacecull 88/13 castshadow 89/13 scalematerial 83/1 cullmode "
    "47/1 rendermode 48/12p matrix 49/6 pivot 91/6 texturescroll 95/13 fog 96/1 fogmode 97/6 fogparams 98/7 fogcolor 59/8p particletexture "
    "60/3 newparticle 61/4 power 62/4 deltapower 63/4 size 64/13 particleenabled 65/1 colorattrib 66/6 deltavector 67/6 deltavectorspread "
    "68/6 color 69/6 colorspread 50/2p strip:striplength 51/6p vertices:vertexcount 52/9p faces:facecount 99/9p origfaces:facecount "
    "86/9p neighbours:facecount 53/6p colors:vertexcount 54/5p uvs:vertexcount 55/6p normals:vertexcount 56/10p poskeys:poskeycount "
    "57/11p rotkeys:rotkeycount 58/10p scalekeys:scalekeycount";
const char CameraOrder[] = "70/10p camposkeys:camposkeycount 71/10p camtargetkeys:camtargetkeycount";
const char LightOrder[] = "72/8p name 73/3 poskeycount 74/13 enabled 75/6 pos 76/6 ambient 77/6 diffuse 78/6 specular 79/10p poskeys:poskeycount";

// Writes a record's chunks from the order alone, leaving out the arrays of `absent` kinds.
void WriteRecord(W& w, const char* order, const Offsets& at, const void* record, int32_t index, const std::set<int>& absent = {}) {
    const char* r = (const char*)record;
    std::istringstream in(order);
    for (std::string code, field; in >> code >> field;) {
        int kind = std::stoi(code), type = std::stoi(code.substr(code.find('/') + 1));
        size_t colon = field.find(':');
        bool array = colon != std::string::npos;
        if (array && absent.count(kind)) continue;
        int32_t n = array ? *(const int32_t*)(r + at.at(field.substr(colon + 1))) : 1;
        w.chunk(type, kind, index, n, array ? *(const char* const*)(r + at.at(field.substr(0, colon))) : r + at.at(field), ElementSize[type],
                code.back() == 'p');
    }
}

TEST(SceneSave, ChunksFollowTheFormatsOrderTypesAndPackingAndLoadBackUnchanged) {
    Scene s, b{};
    MakeRichScene(s);
    s.versionmajor = 3, s.versionminor = 9;  // the saver writes its own
    // Kind 87 announces 12, 22 a material, 33 an object (+1 colours, uvs, each track, +2 normals), 1 a camera track, 7 a light (+1 track).
    Scene head = s;
    head.versionmajor = 1, head.versionminor = 2;
    head.chunkcount = 12 + 22 * 2 + (33 + 1 + 1 + 2 + 3) + (33 + 1 + 1) + 33 + 2 + 7 * 8 + 2;
    W want;
    WriteRecord(want, SceneOrder, SceneFields(), &head, 0);
    for (int32_t i = 0; i < 2; ++i) WriteRecord(want, MaterialOrder, MaterialFields(), &s.materials[i], i);
    const std::set<int> absent[3] = {{}, {53, 55, 56, 58}, {53, 54, 55, 56, 57, 58}};
    for (int32_t i = 0; i < 3; ++i) WriteRecord(want, ObjectOrder, ObjectFields(), &s.objects[i], i, absent[i]);
    WriteRecord(want, CameraOrder, SceneFields(), &s, 0);
    for (int32_t i = 0; i < 8; ++i) WriteRecord(want, LightOrder, LightFields(), &s.lights[i], i, {i == 2 || i == 5 ? 0 : 79});
    std::string bytes = SaveSceneData(s);
    size_t at = std::mismatch(bytes.begin(), bytes.end(), want.bytes.begin(), want.bytes.end()).first - bytes.begin();
    EXPECT_TRUE(bytes == want.bytes) << "first difference at byte " << at << " of " << want.bytes.size();
    LoadBytes(b, bytes);
    EXPECT_TRUE(SceneAnnouncedChunks(s) == head.chunkcount && b.chunkcount == head.chunkcount);
    EXPECT_TRUE(SaveSceneData(b) == bytes) << "a loaded field differs";
    // No chunk: no array; an empty chunk: an empty one.
    EXPECT_TRUE(!b.objects[1].colors && !b.objects[1].poskeys && !b.lights[0].poskeys);
    EXPECT_TRUE(b.objects[0].strip && b.objects[2].vertices);
    ReleaseScene(s), ReleaseScene(b);
}

TEST(SceneSave, StopsOnPackingErrorsMissingArraysAndWriteErrors) {
    Scene s, back{};
    MakeRichScene(s);
    SetCompressionLevel(42);  // zlib refuses the level: Z_STREAM_ERROR on the name chunk
    Failure f = FailureOf([&] { SaveSceneData(s); });
    SetCompressionLevel(9);
    EXPECT_TRUE(f.kind == FailFatalStop && f.message == "Packing error! -2 256 3 0") << f.message;
    std::string dir = MakeTempDir("scene");
    SaveScene(s, S(dir + "/t.vlm"));
    EXPECT_TRUE(ReadFileText(dir + "/t.vlm") == SaveSceneData(s));
    f = FailureOf([&] { SaveScene(s, S(dir + "/no/such/folder/t.vlm")); });
    EXPECT_TRUE(f.kind == FailRunError && f.code == 101);
    RemoveTree(dir);
    // Original faces only feed the neighbour search, and the hull has its list: saved without them, one chunk fewer
    // announced.
    SceneObject& hull = s.objects[0];
    Base.BS_MemFree((void**)&hull.origfaces);
    LoadBytes(back, SaveSceneData(s));
    EXPECT_TRUE(!back.objects[0].origfaces && back.chunkcount == 224 - 1 && !memcmp(back.objects[0].neighbours, hull.neighbours, 4 * 12));
    ReleaseScene(back);
    Base.BS_MemFree((void**)&hull.faces);
    EXPECT_EQ(FailureOf([&] { SaveSceneData(s); }).message, "Cannot save object 0: faces is missing for facecount 4");
    ReleaseScene(s);
}

// ------------------------------------------------------------ what the format allows

// Head of a minimal valid file (version 1.2, one material), then `more`.
std::string File(int32_t objects, const std::function<void(W&)>& more = [](W&) {}) {
    W w;
    w.u8(1, 0, 1), w.u8(2, 0, 2), w.str(3, 0, "mini"), w.i32(5, 0, 1), w.i32(6, 0, objects), more(w);
    return w.bytes;
}
const std::vector<Vector> Quad = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
const std::vector<Face> QuadFaces = {{0, 1, 2}, {0, 2, 3}};
// Object `index` with the quad's vertices, `faces` and, when asked, the original faces and a neighbour list.
void AddObject(W& w, int32_t index, const std::vector<Face>& faces = QuadFaces, bool orig = true, bool nb = false, bool packed = true) {
    int32_t n = (int32_t)faces.size();
    w.str(33, index, "obj" + std::to_string(index), packed), w.i32(34, index, 4, packed), w.i32(35, index, n, packed);
    w.chunk(6, 51, index, 4, Quad.data(), 12, packed), w.chunk(9, 52, index, n, faces.data(), 12, packed);
    if (orig) w.chunk(9, 99, index, n, faces.data(), 12, packed);
    std::vector<FaceNeighbours> list = {{{-1, 1, -1}}, {{0, -1, -1}}};
    if (nb) w.chunk(9, 86, index, 2, list.data(), 12, packed);
}
std::string WithQuad(const std::function<void(W&)>& more) { return File(1, [&](W& w) { AddObject(w, 0), more(w); }); }

TEST(SceneLoad, WhatTheFormatAllowsAndWorkedOutDataFromItsInputs) {
    TrackKey keys[2] = {{0, {0, 0, 0}}, {10, {6, 0, 0}}};
    std::string bytes = WithQuad([&](W& w) {
        w.u8(80, 0, 1), w.u8(81, 0, 7);  // read, never written
        w.raw(1, 0, 3, 3, 0, 0, "xyz"), w.raw(3, 85, 1, 4, 0, 0, "abcd");  // unused kinds: dropped
        w.raw(8, 200, 1, 256, 0, 99, std::string(256, 'q'));
        w.flag(45, 0, 0x80), w.flag(88, 0, 0), w.u8(74, 3, 2);  // flags of 128, 0, 2
        w.i32(4, 0, 0x11223344), w.u8(4, 0, 0x99);  // one byte into the int32
        w.i32(41, 0, -3);  // a negative pass leaves the count at 0
        w.i32(10, 0, 2), w.chunk(10, 70, 0, 2, keys, 16, true);  // one camera track: no ease
    });
    Scene s{};
    LoadBytes(s, bytes);
    const SceneObject& o = s.objects[0];
    EXPECT_EQ(std::vector<int>({o.wireframe, o.spareflag, o.facecount, *(const uint8_t*)&o.visible, o.castshadow, s.lights[3].enabled,
                                s.maxpassno, s.sceneparam, !s.camposease && !s.camtargetease}),
              std::vector<int>({1, 7, 2, 1, 0, 1, 0, 0x11223399, 1}));
    ReleaseScene(s);
    // Guards the loader's tolerance of arrays longer than their count and of absent arrays nothing reads (original
    // faces once a list is kept, a strip not drawn). No chunk at all: an empty scene, worked out as one.
    Scene more{}, noOrig{}, noStrip{}, empty{};
    LoadBytes(more, WithQuad([](W& w) { w.i32(34, 0, 3), w.i32(35, 0, 1); }));
    LoadBytes(noOrig, File(1, [](W& w) { AddObject(w, 0, QuadFaces, false, true); }));
    LoadBytes(noStrip, WithQuad([](W& w) { w.i32(40, 0, 4); }));
    LoadBytes(empty, "abcd");
    EXPECT_TRUE(more.objects[0].vertexcount == 3 && more.objects[0].facecount == 1 && Neighbour(noOrig.objects[0], 0, 1) == 1 &&
                !noStrip.objects[0].strip);
    EXPECT_TRUE(empty.objectcount == 0 && empty.shadowlength == 1000.0f && !empty.camposease && empty.volumeindex);
    ReleaseScene(more), ReleaseScene(noOrig), ReleaseScene(noStrip), ReleaseScene(empty);
}

TEST(SceneLoad, LabelsNameSceneObjectAndUse) {
    Scene a, b{};
    MakeRichScene(a);
    size_t before = LiveBlocks();
    LoadBytes(b, SaveSceneData(a));
    const std::pair<const char*, size_t> labels[] = {
        {"rich scene materials", 2 * sizeof(Material)}, {"rich scene objects", 3 * sizeof(SceneObject)}, {"rich scene hull vertex vectors", 60},
        {"rich scene hull face list", 48}, {"rich scene hull UV coordinates", 40}, {"rich scene hull orignal face list", 48},
        {"rich scene hull connectivity list", 48}, {"rich scene hull vertex color list", 60}, {"rich scene plain UV coordinates", 48},
        {"rich scene hull vertex normals", 60}, {"rich scene hull position vectors", 48}, {"rich scene hull rotation quats", 40},
        {"rich scene plain rotation quats", 20}, {"rich scene hull scale vectors", 16}, {"rich scene plain triangle strip", 12},
        {"rich scene camera positions", 48}, {"rich scene camera target positions", 32}, {"rich scene light2 light positions", 32},
        {"scene.rich scene.camera position ease", 36}, {"scene.rich scene.camera target ease", 24}, {"vlmloader temp data", 0},
        {"Z lib (decompress)", 0}, {"Z lib (compress)", 0}, {" lightvisible calc ", 9}, {" contour calc ", 27}, {" face center stored ", 108},
        {" face normal precalc ", 108}, {" volume array ", 9 * 12 * 12}, {" volume array index", 9 * 6 * 12}};
    for (auto [label, bytes] : labels) EXPECT_EQ(LabelBytes(label), bytes) << label;
    ReleaseScene(b);
    EXPECT_EQ(LiveBlocks(), before);
    ReleaseScene(b);  // every pointer is null now: harmless
    EXPECT_TRUE(!b.objects && !b.volumeindex && LiveBlocks() == before);
    ReleaseScene(a);
}

// Two triangles sharing the edge 0-2, with a deliberately wrong list.
std::string VersionedPair(uint8_t minor, bool withList) {
    W w;
    w.u8(1, 0, 1), w.u8(2, 0, minor), w.i32(5, 0, 1), w.i32(6, 0, 1);
    AddObject(w, 0, QuadFaces, true, false, false);
    FaceNeighbours odd[2] = {{{1, 1, 1}}, {{0, 0, 0}}};
    if (withList) w.chunk(9, 86, 0, 2, odd, 12, true);
    return w.bytes;
}

TEST(SceneLoad, OldVersionsAndMissingListsGetNeighboursWorkedOut) {
    for (auto [minor, with] : {std::pair{0, false}, {0, true}, {1, false}, {1, true}, {2, false}}) {
        Scene s{};
        LoadBytes(s, VersionedPair((uint8_t)minor, with));
        // Face 0 = (0,1,2): edge 2 is 2-0; face 1 = (0,2,3): edge 0 is 0-2.
        const SceneObject& o = s.objects[0];
        EXPECT_EQ(std::vector<int32_t>({Neighbour(o, 0, 2), Neighbour(o, 0, 0), Neighbour(o, 1, 0), Neighbour(o, 1, 1)}),
                  std::vector<int32_t>({1, -1, 0, -1})) << minor << with;
        EXPECT_TRUE(LabelBytes(" neighbour calc  ") == 24 && LabelBytes(" obj0 connectivity list") == 0);
        ReleaseScene(s);
    }
    Scene s{};
    LoadBytes(s, VersionedPair(2, true));  // the current version keeps the file's list, odd as it is
    EXPECT_TRUE(Neighbour(s.objects[0], 0, 0) == 1 && Neighbour(s.objects[0], 1, 2) == 0);
    EXPECT_EQ(LabelBytes(" neighbour calc  "), 0u);
    ReleaseScene(s);
}

// ------------------------------------------------------------ refusals

// Every refusal gives back what was reserved and clears the record. Guards an empty file (no scene at all), counts no
// file could hold and payloads that would inflate past any honest size.
TEST(SceneLoadRefuses, MalformedFilesWithTheirMessages) {
    const std::string whole = WithQuad([](W&) {}), zv = Zpack(Bytes(Quad.data(), 48)), z100 = Zpack(std::string(100, 'x'));
    const TrackKey k[2] = {{0, {0, 0, 0}}, {1, {1, 1, 1}}};
    const uint16_t strip[4] = {0, 1, 2, 9};
    const FaceNeighbours far[2] = {{{1, -1, -1}}, {{-1, 2, -1}}}, below[2] = {{{-2, -1, -1}}, {{-1, -1, -1}}};
    const std::string cut = "read past end of bad.vlm", size = "Chunk size corruption !", index = "Chunk index corruption !",
                      order = "Chunk order corruption !", type = "Chunk type corruption !", bad = "Scene corruption ! (bad.vlm) ",
                      obj0 = bad + "object 0 \"obj0\": ";
#define BARE(...) [&] { W w; __VA_ARGS__; return w.bytes; }()
#define FILE0(...) File(0, [&](W& w) { __VA_ARGS__; })
#define FILE1(...) File(1, [&](W& w) { __VA_ARGS__; })
#define QUAD(...) WithQuad([&](W& w) { __VA_ARGS__; })
    const std::pair<std::string, std::string> cases[] = {  // the file, the message's beginning
        {"", cut}, {"F", cut}, {"F!\x03", cut}, {"abc", cut}, {whole + "zz", cut}, {whole.substr(0, 30), cut},
        {whole.substr(0, whole.size() - 30), cut}, {whole.substr(0, whole.size() - 3), cut},  // inside a header, a payload
        {FILE0(w.raw(3, 4, 2, 4, 0, 0, "abcd")), size}, {FILE0(w.raw(3, 4, 0, 4, 0, 0, "abcd")), size},  // short, long
        {FILE0(w.raw(3, 4, -1, -4, 0, 0, "")), size}, {FILE0(w.raw(14, 4, 1, 1, 0, 0, "a")), type},
        {FILE0(w.f32(15, 1, 0.5f)), index}, {FILE0(w.f32(15, -1, 0.5f)), index}, {File(2, [](W& w) { w.i32(34, 2, 4); }), index},
        {FILE0(w.vec(75, 8, {1, 2, 3})), index}, {BARE(w.str(12, 0, "early")), order}, {FILE0(w.i32(5, 0, 1)), order},
        {BARE(w.i32(5, 0, 1), w.chunk(6, 51, 0, 4, Quad.data(), 12, true)), order}, {FILE0(w.i32(6, 0, 0)), order},
        {BARE(w.i32(6, 0, 1 << 30)), size}, {BARE(w.i32(5, 0, -2)), size}, {FILE0(w.raw(1, 4, 8, 8, 0, 0, "12345678")), size},
        {FILE0(w.raw(8, 3, 2, 512, 0, 0, std::string(512, 'n'))), size}, {FILE1(w.raw(6, 51, 5, 60, (int32_t)zv.size(), 0, zv)), size},
        {FILE1(w.raw(6, 51, 3, 36, (int32_t)zv.size(), 0, zv)), size}, {FILE1(w.raw(6, 51, 4, 48, 20, 0, std::string(20, 'U'))), size},
        {FILE0(w.raw(8, 3, 1, 256, (int32_t)z100.size(), 0, z100)), size},
        {FILE1(w.raw(9, 52, 100000000, 1200000000, 16, 0, std::string(16, 'z'))), size},  // 1.2 GB from 16 bytes
        {QUAD(w.i32(34, 0, 5)), obj0 + "vertices holds 4 entries, vertexcount is 5"}, {QUAD(w.flag(43, 0, 1)), obj0 + "colors is missing"},
        {FILE1(w.str(33, 0, "obj0"), w.i32(35, 0, 3)), obj0 + "faces is missing"}, {QUAD(w.i32(37, 0, -1)), obj0 + "poskeycount is -1"},
        {FILE0(w.i32(73, 4, 2)), bad + "light 4 \"\": poskeys is missing"},
        {FILE0(w.i32(11, 0, 3), w.chunk(10, 71, 0, 2, k, 16)), bad + "camera: camtargetkeys holds 2"},
        {QUAD(w.i32(40, 0, 4), w.u8(47, 0, 1)), obj0 + "strip is missing"}, {FILE1(AddObject(w, 0, QuadFaces, false)), obj0 + "origfaces is missing"},
        {FILE1(AddObject(w, 0, {{0, 1, 4}})), obj0 + "face 0 (0, 1, 4) reaches outside 4 vertices"},
        {FILE1(AddObject(w, 0, {{0, -1, 2}})), obj0 + "face 0 (0, -1, 2)"},
        {QUAD(w.i32(40, 0, 4), w.chunk(2, 50, 0, 4, strip, 2, true)), obj0 + "strip index 3 is 9, outside 4 vertices"},
        {QUAD(w.chunk(9, 86, 0, 2, far, 12, true)), obj0 + "neighbour 2 of face 1"},
        {QUAD(w.chunk(9, 86, 0, 2, below, 12, true)), obj0 + "neighbour -2 of face 0"},
        {File(2, [](W& w) { AddObject(w, 0), AddObject(w, 1), w.i32(36, 1, 1); }),
         bad + "object 1 \"obj1\": material 1 does not exist (1 materials)"},
        {BARE(w.i32(5, 0, 0), w.i32(6, 0, 1)), bad + "object 0 \"\": material 0 does not exist"},
        {QUAD(w.chunk(6, 51, 0, 4, Quad.data(), 12, true), w.raw(14, 4, 1, 1, 0, 0, "a")), type},  // nothing given back twice
    };
    ToCString(S(std::string(255, '.')));  // the shared message buffer, made on first use
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message + " (" + std::to_string(bytes.size()) + " bytes)");
        Scene s{};
        size_t before = LiveBlocks();
        Failure f = FailureOf([&] { LoadBytes(s, bytes, "bad.vlm"); });
        EXPECT_EQ(f.kind, message == cut ? FailRunError : FailFatalStop);
        EXPECT_EQ(f.code, message == cut ? 100 : 0);
        EXPECT_EQ(f.message.substr(0, message.size()), message);
        EXPECT_EQ(LiveBlocks(), before);
        EXPECT_TRUE(!s.objects && !s.materials);
    }
    Scene s{};
    Failure f = FailureOf([&] { LoadScene(s, S("/nonexistent/x.vlm")); });
    EXPECT_TRUE(f.kind == FailFatalStop && f.message == "File (/nonexistent/x.vlm) not found.") << f.message;
}

}  // namespace
