// The scene file: saver bytes, round trips, the loader's tolerance of what the
// format allows and its refusal of what would hurt later stages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "scene_helpers.h"
#include "support/support.h"
#include <zlib.h>

namespace {

std::string Hex(const std::string& b, size_t from, size_t n) {
    std::string out;
    char h[4];
    for (size_t i = from; i < from + n && i < b.size(); ++i) {
        snprintf(h, sizeof h, "%02x ", (unsigned char)b[i]);
        out += h;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

// Loads, expecting a failure; returns it.
Failure LoadFails(const std::string& bytes, const char* name = "bad.vlm") {
    ThrowOnFailure hook;
    Scene s{};
    // Messages pass through the shared C-string buffer, made on first use.
    ToCString(S(std::string(255, '.')));
    size_t before = LiveBlocks();
    try {
        LoadBytes(s, bytes, name);
    } catch (const Failure& f) {
        // Whatever was reserved is given back and the record cleared.
        EXPECT_EQ(LiveBlocks(), before) << f.message;
        EXPECT_EQ(s.objects, nullptr);
        EXPECT_EQ(s.materials, nullptr);
        return f;
    }
    ReleaseScene(s);
    ADD_FAILURE() << "the file loaded";
    return Failure{};
}

// Head of a minimal valid file: version 1.2, the counts, one material.
ChunkWriter MinimalHead(int32_t objects = 0) {
    ChunkWriter w;
    w.u8(1, 0, 1);
    w.u8(2, 0, 2);
    w.str(3, 0, "mini");
    w.i32(5, 0, 1);
    w.i32(6, 0, objects);
    return w;
}

// One object with `verts` vertices and the given faces.
void AddObject(ChunkWriter& w, int32_t index, const std::vector<Vector>& verts, const std::vector<Face>& faces,
               bool withNeighbours = false) {
    w.str(33, index, "obj" + std::to_string(index));
    w.i32(34, index, (int32_t)verts.size());
    w.i32(35, index, (int32_t)faces.size());
    w.chunk(6, 51, index, (int32_t)verts.size(), verts.data(), 12, true);
    w.chunk(9, 52, index, (int32_t)faces.size(), faces.data(), 12, true);
    w.chunk(9, 99, index, (int32_t)faces.size(), faces.data(), 12, true);
    if (withNeighbours) {
        std::vector<FaceNeighbours> n(faces.size(), FaceNeighbours{{-1, -1, -1}});
        w.chunk(9, 86, index, (int32_t)n.size(), n.data(), 12, true);
    }
}

const std::vector<Vector> Quad = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
const std::vector<Face> QuadFaces = {{0, 1, 2}, {0, 2, 3}};

TEST(SceneSave, FileBeginsWithTheFixedHeaderBytes) {
    Scene s;
    MakeTetraScene(s, "tetra scene");
    std::string b = SaveSceneData(s);
    int32_t announced = SceneAnnouncedChunks(s);
    // 12 + 22 per material + 33 per object + 7 per light.
    EXPECT_EQ(announced, 12 + 22 + 33 + 7 * 8);
    ASSERT_GT(b.size(), 90u);
    EXPECT_EQ(Hex(b, 0, 20), "46 21 03 57 01 00 00 00 04 00 00 00 00 00 00 00 00 00 00 00");
    int32_t stored;
    memcpy(&stored, b.data() + 20, 4);
    EXPECT_EQ(stored, announced);
    EXPECT_EQ(Hex(b, 24, 21), "46 21 01 01 01 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 01");
    EXPECT_EQ(Hex(b, 45, 21), "46 21 01 02 01 00 00 00 01 00 00 00 00 00 00 00 00 00 00 00 02");
    EXPECT_EQ(Hex(b, 66, 12), "46 21 08 03 01 00 00 00 00 01 00 00");
    int32_t packed;
    memcpy(&packed, b.data() + 78, 4);
    EXPECT_EQ(Hex(b, 82, 4), "00 00 00 00");
    EXPECT_EQ(Hex(b, 86, 2), "78 da");
    // The stream inflates to the 256-byte name record, bytes after the text
    // included, and the next chunk (kind 4) follows directly.
    std::string name(256, '\0');
    uLongf len = 256;
    ASSERT_EQ(uncompress((Bytef*)name.data(), &len, (const Bytef*)b.data() + 86, (uLong)packed), Z_OK);
    EXPECT_EQ(len, 256u);
    EXPECT_EQ(name[0], 11);
    EXPECT_EQ(name.substr(1, 11), "tetra scene");
    EXPECT_EQ(Hex(b, 86 + (size_t)packed, 4), "46 21 03 04");
    ReleaseScene(s);
}

TEST(SceneSave, AnnouncedCountFollowsTheOptionalChunks) {
    Scene s;
    MakeRichScene(s);
    // Objects: hull has colours, uvs, normals (2) and three tracks; plain
    // and emitter have nothing optional. Two camera tracks, two lights with
    // keys.
    int32_t expect = 12 + 22 * 2 + (33 + 1 + 1 + 2 + 3) + 33 + 33 + 2 + 7 * 8 + 2;
    EXPECT_EQ(SceneAnnouncedChunks(s), expect);
    ReleaseScene(s);
}

TEST(SceneSave, EveryFileFieldSurvivesSaveAndLoad) {
    Scene a;
    MakeRichScene(a);
    std::string bytes = SaveSceneData(a);
    Scene b{};
    LoadBytes(b, bytes);
    std::vector<std::string> diff = FileFieldDifferences(a, b);
    EXPECT_TRUE(diff.empty()) << diff.size() << " differences, first: " << diff[0];
    // The version and count the saver wrote.
    EXPECT_EQ(b.versionmajor, 1);
    EXPECT_EQ(b.versionminor, 2);
    EXPECT_EQ(b.chunkcount, SceneAnnouncedChunks(a));
    // Loading resets `depth` to 24; past that, save and load are a fixed
    // point: saving the reloaded scene gives the same bytes again.
    std::string again = SaveSceneData(b);
    EXPECT_EQ(again.size(), bytes.size());
    Scene c{};
    LoadBytes(c, again);
    EXPECT_TRUE(SaveSceneData(c) == again);
    ReleaseScene(a);
    ReleaseScene(b);
    ReleaseScene(c);
}

TEST(SceneSave, RoundTripDetectsAChangedField) {
    // The comparison itself must see a one-bit change anywhere.
    Scene a, b;
    MakeRichScene(a);
    MakeRichScene(b);
    EXPECT_FALSE(FileFieldDifferences(a, b).empty());  // different random values
    ReleaseScene(b);
    Scene c{};
    LoadBytes(c, SaveSceneData(a));
    uint32_t bits;
    memcpy(&bits, &c.objects[0].uvs[3].v, 4);
    bits ^= 1;
    memcpy(&c.objects[0].uvs[3].v, &bits, 4);
    std::vector<std::string> diff = FileFieldDifferences(a, c);
    ASSERT_EQ(diff.size(), 1u);
    EXPECT_EQ(diff[0], "scene.objects[0].uvs[3]");
    ReleaseScene(a);
    ReleaseScene(c);
}

TEST(SceneSave, OptionalArraysAreWrittenOnlyWhenAnnounced) {
    Scene a;
    MakeRichScene(a);
    SceneLoadStats st;
    Scene b{};
    LoadBytes(b, SaveSceneData(a), "rich.vlm", &st);
    EXPECT_EQ(st.kinds[53], 1);  // colours: hull only
    EXPECT_EQ(st.kinds[54], 1);
    EXPECT_EQ(st.kinds[55], 1);
    EXPECT_EQ(st.kinds[56], 1);  // position keys: hull only
    EXPECT_EQ(st.kinds[50], 3);  // strips always, empty ones too
    EXPECT_EQ(st.kinds[86], 3);
    EXPECT_EQ(st.kinds[79], 2);  // lights 2 and 5
    EXPECT_EQ(st.kinds[72], 8);
    EXPECT_EQ(st.kinds[70], 1);
    EXPECT_EQ(st.kinds[80] + st.kinds[81], 0);
    EXPECT_EQ(st.kinds[12], 2);
    EXPECT_EQ(st.skipped, 0);
    // Arrays not announced stay absent; empty ones are present and empty.
    EXPECT_EQ(b.objects[1].colors, nullptr);
    EXPECT_EQ(b.objects[1].poskeys, nullptr);
    EXPECT_NE(b.objects[0].strip, nullptr);
    EXPECT_EQ(b.objects[0].striplength, 0);
    EXPECT_EQ(b.lights[0].poskeys, nullptr);
    ReleaseScene(a);
    ReleaseScene(b);
}

TEST(SceneSave, PackingErrorStopsWithItsMessage) {
    ThrowOnFailure hook;
    Scene s;
    MakeTetraScene(s, "t");
    SetCompressionLevel(42);  // zlib refuses the level
    try {
        SaveSceneData(s);
        ADD_FAILURE() << "saved";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailFatalStop);
        EXPECT_EQ(f.message, "Packing error! -2 256 3 0");  // Z_STREAM_ERROR, the name chunk
    }
    SetCompressionLevel(9);
    ReleaseScene(s);
}

TEST(SceneSave, ArraysMissingForTheirCountsAreRefusedBeforeWritingUnlessNothingReadsThem) {
    ThrowOnFailure hook;
    Scene s;
    MakeTetraScene(s, "t");
    // The original faces: only the neighbour search reads them, and the
    // object has its list. The file loads back without them.
    Base.BS_MemFree((void**)&s.objects[0].origfaces);
    std::string bytes = SaveSceneData(s);
    Scene back{};
    LoadBytes(back, bytes);
    EXPECT_EQ(back.objects[0].origfaces, nullptr);
    EXPECT_EQ(back.objects[0].facecount, s.objects[0].facecount);
    EXPECT_EQ(0, memcmp(back.objects[0].neighbours, s.objects[0].neighbours,
                        sizeof(FaceNeighbours) * (size_t)s.objects[0].facecount));
    ReleaseScene(back);
    Base.BS_MemFree((void**)&s.objects[0].faces);
    try {
        SaveSceneData(s);
        ADD_FAILURE() << "saved";
    } catch (const Failure& f) {
        EXPECT_NE(f.message.find("faces is missing"), std::string::npos) << f.message;
    }
    ReleaseScene(s);
}

TEST(SceneSave, SaveSceneWritesTheFileAndAWriteErrorIsRunError101) {
    ThrowOnFailure hook;
    std::string dir = MakeTempDir("scene");
    Scene s;
    MakeTetraScene(s, "t");
    SaveScene(s, S(dir + "/t.vlm"));
    EXPECT_EQ(ReadFileText(dir + "/t.vlm"), SaveSceneData(s));
    try {
        SaveScene(s, S(dir + "/no/such/folder/t.vlm"));
        ADD_FAILURE() << "saved";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailRunError);
        EXPECT_EQ(f.code, 101);
    }
    ReleaseScene(s);
    RemoveTree(dir);
}

// ------------------------------------------------------------ what the format allows

TEST(SceneLoad, PackedAndUnpackedChunksGiveTheSameScene) {
    auto build = [](bool packed) {
        ChunkWriter w;
        w.u8(1, 0, 1, packed);
        w.u8(2, 0, 2, packed);
        w.str(3, 0, "same", packed);
        w.i32(5, 0, 1, packed);
        w.i32(6, 0, 1, packed);
        w.str(12, 0, "m", packed);
        w.f32(15, 0, 0.25f, packed);
        w.str(33, 0, "o", packed);
        w.i32(34, 0, 4, packed);
        w.i32(35, 0, 2, packed);
        w.chunk(6, 51, 0, 4, Quad.data(), 12, packed);
        w.chunk(9, 52, 0, 2, QuadFaces.data(), 12, packed);
        w.chunk(9, 99, 0, 2, QuadFaces.data(), 12, packed);
        w.vec(49, 0, 1, 2, 3, packed);
        return w.bytes;
    };
    Scene a{}, b{};
    LoadBytes(a, build(false));
    LoadBytes(b, build(true));
    EXPECT_TRUE(FileFieldDifferences(a, b).empty());
    EXPECT_EQ(b.name, "same");
    EXPECT_EQ(b.materials[0].transparency, 0.25f);
    EXPECT_EQ(b.objects[0].pivot.z, 3.0f);
    EXPECT_EQ(b.objects[0].vertices[2].y, 1.0f);
    ReleaseScene(a);
    ReleaseScene(b);
}

TEST(SceneLoad, EmptyChunksGiveEmptyBlocksPackedOrNot) {
    ChunkWriter w = MinimalHead(1);
    w.str(33, 0, "nothing");
    w.raw(9, 52, 0, 0, 0, 0, "");                  // faces: count 0, size 0
    std::string z = Zpack("");
    ASSERT_GT(z.size(), 0u);
    w.raw(6, 51, 0, 0, (int32_t)z.size(), 0, z);   // packed, nothing inside
    w.raw(2, 50, 0, 0, 0, 0, "");
    Scene s{};
    LoadBytes(s, w.bytes);
    const SceneObject& o = s.objects[0];
    EXPECT_NE(o.faces, nullptr);
    EXPECT_NE(o.vertices, nullptr);
    EXPECT_NE(o.strip, nullptr);
    EXPECT_EQ(o.origfaces, nullptr);  // never sent: absent
    EXPECT_EQ(LabelBytes("mini nothing face list"), 0u);
    ReleaseScene(s);
    EXPECT_EQ(s.objects, nullptr);
}

TEST(SceneLoad, BytesBetweenChunksAreSkippedInStepsOfFour) {
    ChunkWriter w;
    w.junk("abcd");           // before the first chunk
    w.u8(1, 0, 1);
    w.junk("F?..wxyz");       // 'F' without '!' does not start a chunk
    w.u8(2, 0, 2);
    w.junk(std::string(12, '\0'));
    w.str(3, 0, "gaps");
    w.i32(5, 0, 0);
    w.junk("!F!F");           // "F!" only counts at a 4-byte step
    w.i32(6, 0, 0);
    SceneLoadStats st;
    Scene s{};
    LoadBytes(s, w.bytes, "gaps.vlm", &st);
    EXPECT_EQ(s.name, "gaps");
    EXPECT_EQ(s.versionminor, 2);
    EXPECT_EQ(st.chunks, 5);
    EXPECT_EQ(st.skipped, 4 + 8 + 12 + 4);
    ReleaseScene(s);
}

TEST(SceneLoad, ChunkOffsetsDependOnThePayloadNotOnAlignment) {
    // A 1-byte payload leaves the next chunk at an odd offset: it is read
    // there, not at the next multiple of 4.
    ChunkWriter w;
    w.u8(1, 0, 1);
    w.u8(2, 0, 1);
    w.i32(4, 0, 4242);
    Scene s{};
    LoadBytes(s, w.bytes);
    EXPECT_EQ(s.sceneparam, 4242);
    EXPECT_EQ(s.versionminor, 1);
    ReleaseScene(s);
}

TEST(SceneLoad, LoaderOnlyKindsAndUnusedKindsAreAccepted) {
    ChunkWriter w = MinimalHead(1);
    AddObject(w, 0, Quad, QuadFaces);
    w.u8(80, 0, 1);
    w.u8(81, 0, 7);
    w.raw(1, 0, 3, 3, 0, 0, "xyz");     // kind 0
    w.raw(3, 85, 1, 4, 0, 0, "abcd");   // kind 85
    w.raw(8, 200, 1, 256, 0, 99, std::string(256, 'q'));
    Scene s{};
    LoadBytes(s, w.bytes);
    EXPECT_EQ(s.objects[0].wireframe, 1);
    EXPECT_EQ(s.objects[0].spareflag, 7);
    EXPECT_EQ(s.objects[0].facecount, 2);
    ReleaseScene(s);
}

TEST(SceneLoad, AFileWithoutChunksIsAnEmptyScene) {
    Scene s{};
    LoadBytes(s, "abcd");  // four bytes that are no chunk: skipped
    EXPECT_EQ(s.objectcount, 0);
    EXPECT_EQ(s.maxpassno, 0);
    EXPECT_EQ(s.shadowlength, 1000.0f);
    EXPECT_EQ(s.camposease, nullptr);
    EXPECT_NE(s.volumeindex, nullptr);  // empty buffers for no faces
    ReleaseScene(s);
}

TEST(SceneLoad, BooleansTakeAnyNonZeroByteAsTrue) {
    ChunkWriter w = MinimalHead(1);
    AddObject(w, 0, Quad, QuadFaces);
    w.u8(45, 0, 0x80);  // visible, written as a byte of 128
    w.u8(88, 0, 0);
    w.u8(74, 3, 2);     // light 3 enabled
    Scene s{};
    LoadBytes(s, w.bytes);
    uint8_t raw;
    memcpy(&raw, &s.objects[0].visible, 1);
    EXPECT_EQ(raw, 1);
    EXPECT_TRUE(s.objects[0].visible);
    EXPECT_FALSE(s.objects[0].castshadow);
    EXPECT_TRUE(s.lights[3].enabled);
    ReleaseScene(s);
}

TEST(SceneLoad, AShortPayloadReplacesOnlyTheFirstBytes) {
    ChunkWriter w = MinimalHead();
    w.i32(4, 0, 0x11223344);
    w.u8(4, 0, 0x99);  // one byte into the int32
    Scene s{};
    LoadBytes(s, w.bytes);
    EXPECT_EQ(s.sceneparam, 0x11223399);
    ReleaseScene(s);
}

TEST(SceneLoad, LabelsNameSceneObjectAndUse) {
    Scene a;
    MakeRichScene(a);
    Scene b{};
    size_t before = LiveBlocks();
    LoadBytes(b, SaveSceneData(a));
    EXPECT_EQ(LabelBytes("rich scene materials"), 2 * sizeof(Material));
    EXPECT_EQ(LabelBytes("rich scene objects"), 3 * sizeof(SceneObject));
    EXPECT_EQ(LabelBytes("rich scene hull vertex vectors"), 5 * 12u);
    EXPECT_EQ(LabelBytes("rich scene hull face list"), 4 * 12u);
    EXPECT_EQ(LabelBytes("rich scene hull orignal face list"), 4 * 12u);
    EXPECT_EQ(LabelBytes("rich scene hull connectivity list"), 4 * 12u);
    EXPECT_EQ(LabelBytes("rich scene hull vertex color list"), 5 * 12u);
    EXPECT_EQ(LabelBytes("rich scene hull UV coordinates"), 5 * 8u);
    EXPECT_EQ(LabelBytes("rich scene hull vertex normals"), 5 * 12u);
    EXPECT_EQ(LabelBytes("rich scene hull position vectors"), 3 * 16u);
    EXPECT_EQ(LabelBytes("rich scene hull rotation quats"), 2 * 20u);
    EXPECT_EQ(LabelBytes("rich scene hull scale vectors"), 16u);
    EXPECT_EQ(LabelBytes("rich scene plain triangle strip"), 6 * 2u);
    EXPECT_EQ(LabelBytes("rich scene camera positions"), 3 * 16u);
    EXPECT_EQ(LabelBytes("rich scene camera target positions"), 2 * 16u);
    EXPECT_EQ(LabelBytes("rich scene light2 light positions"), 2 * 16u);
    EXPECT_EQ(LabelBytes("scene.rich scene.camera position ease"), 3 * 12u);
    EXPECT_EQ(LabelBytes("scene.rich scene.camera target ease"), 2 * 12u);
    // Worked out: 4 + 5 + 0 faces.
    EXPECT_EQ(LabelBytes(" lightvisible calc "), 9u);
    EXPECT_EQ(LabelBytes(" contour calc "), 27u);
    EXPECT_EQ(LabelBytes(" face center stored "), 9 * 12u);
    EXPECT_EQ(LabelBytes(" face normal precalc "), 9 * 12u);
    EXPECT_EQ(LabelBytes(" volume array "), 9 * 12 * 12u);
    EXPECT_EQ(LabelBytes(" volume array index"), 9 * 6 * 12u);
    // Nothing temporary stays behind.
    EXPECT_EQ(LabelBytes("vlmloader temp data"), 0u);
    EXPECT_EQ(LabelBytes("Z lib (decompress)"), 0u);
    EXPECT_EQ(LabelBytes("Z lib (compress)"), 0u);
    ReleaseScene(b);
    EXPECT_EQ(LiveBlocks(), before);
    ReleaseScene(a);
}

TEST(SceneLoad, LabelsUseTheNamesLoadedSoFar) {
    ChunkWriter w;
    w.u8(1, 0, 1);
    w.u8(2, 0, 2);
    w.i32(5, 0, 1);  // before the scene's name: "" + " materials"
    w.str(3, 0, "late");
    w.i32(6, 0, 1);
    w.chunk(6, 51, 0, 4, Quad.data(), 12, true);  // before the object's name
    w.str(33, 0, "named");
    w.i32(34, 0, 4);
    Scene s{};
    LoadBytes(s, w.bytes);
    EXPECT_EQ(LabelBytes(" materials"), sizeof(Material));
    EXPECT_EQ(LabelBytes("late objects"), sizeof(SceneObject));
    EXPECT_EQ(LabelBytes("late  vertex vectors"), 48u);
    EXPECT_EQ(LabelBytes("late named vertex vectors"), 0u);
    ReleaseScene(s);
}

TEST(SceneLoad, WorkedOutDataAfterLoading) {
    Scene a;
    MakeRichScene(a);
    a.objects[1].rotation = Vector{10, 20, 30};  // not in the file, reset anyway
    Scene b{};
    LoadBytes(b, SaveSceneData(a));
    EXPECT_EQ(b.maxpassno, 2);
    EXPECT_EQ(b.shadowlength, 1000.0f);
    EXPECT_EQ(b.materials[0].depth, 24);  // the file said 32
    EXPECT_EQ(b.materials[1].depth, 24);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(b.objects[i].rotation.x + b.objects[i].rotation.y, 0.0f);
    ASSERT_NE(b.camposease, nullptr);
    // Ease of the first camera key: (P1 - P0) / 6.
    EXPECT_FLOAT_EQ(b.camposease[0].x, (a.camposkeys[1].point.x - a.camposkeys[0].point.x) / 6);
    EXPECT_FLOAT_EQ(b.camtargetease[1].z, (a.camtargetkeys[1].point.z - a.camtargetkeys[0].point.z) / 6);
    // Last index triple of 9 faces: number 53 = (106, 107, 104).
    const Face& last = b.volumeindex[6 * 9 - 1];
    EXPECT_EQ(last.a, 12 * 9 - 2);
    EXPECT_EQ(last.b, 12 * 9 - 1);
    EXPECT_EQ(last.c, 12 * 9 - 4);
    ReleaseScene(a);
    ReleaseScene(b);
}

TEST(SceneLoad, NegativePassesLeaveMaxPassAtZero) {
    ChunkWriter w = MinimalHead(1);
    AddObject(w, 0, Quad, QuadFaces);
    w.i32(41, 0, -3);
    Scene s{};
    LoadBytes(s, w.bytes);
    EXPECT_EQ(s.maxpassno, 0);
    ReleaseScene(s);
}

TEST(SceneLoad, CameraEaseNeedsBothTracks) {
    ChunkWriter w = MinimalHead();
    TrackKey keys[2] = {{0, {0, 0, 0}}, {10, {6, 0, 0}}};
    w.i32(10, 0, 2);
    w.chunk(10, 70, 0, 2, keys, 16, true);
    Scene s{};
    LoadBytes(s, w.bytes);
    EXPECT_EQ(s.camposease, nullptr);
    EXPECT_EQ(s.camtargetease, nullptr);
    ReleaseScene(s);
}

// ------------------------------------------------------------ neighbours by version

// Two triangles sharing the edge 0-2, with a deliberately wrong list.
ChunkWriter VersionedPair(uint8_t minor, bool withNeighbours) {
    ChunkWriter w;
    w.u8(1, 0, 1);
    w.u8(2, 0, minor);
    w.i32(5, 0, 1);
    w.i32(6, 0, 1);
    w.str(33, 0, "pair");
    w.i32(34, 0, 4);
    w.i32(35, 0, 2);
    w.chunk(6, 51, 0, 4, Quad.data(), 12);
    w.chunk(9, 52, 0, 2, QuadFaces.data(), 12);
    w.chunk(9, 99, 0, 2, QuadFaces.data(), 12);
    if (withNeighbours) {
        FaceNeighbours odd[2] = {{{1, 1, 1}}, {{0, 0, 0}}};
        w.chunk(9, 86, 0, 2, odd, 12, true);
    }
    return w;
}

TEST(SceneLoad, OldVersionsGetNeighbourListsWorkedOut) {
    for (uint8_t minor : {0, 1}) {
        for (bool with : {false, true}) {
            Scene s{};
            LoadBytes(s, VersionedPair(minor, with).bytes);
            const SceneObject& o = s.objects[0];
            ASSERT_NE(o.neighbours, nullptr);
            // Face 0 = (0,1,2): edge 2 is 2-0; face 1 = (0,2,3): edge 0 is 0-2.
            EXPECT_EQ(Neighbour(o, 0, 2), 1) << int(minor) << with;
            EXPECT_EQ(Neighbour(o, 0, 0), -1);
            EXPECT_EQ(Neighbour(o, 1, 0), 0);
            EXPECT_EQ(Neighbour(o, 1, 1), -1);
            EXPECT_EQ(LabelBytes(" neighbour calc  "), 24u);
            EXPECT_EQ(LabelBytes(" pair connectivity list"), 0u);
            ReleaseScene(s);
        }
    }
}

TEST(SceneLoad, CurrentVersionKeepsTheFileListOrWorksOneOut) {
    Scene s{};
    LoadBytes(s, VersionedPair(2, true).bytes);
    EXPECT_EQ(Neighbour(s.objects[0], 0, 0), 1);  // untouched, odd as it is
    EXPECT_EQ(Neighbour(s.objects[0], 1, 2), 0);
    EXPECT_EQ(LabelBytes(" neighbour calc  "), 0u);
    ReleaseScene(s);
    Scene t{};
    LoadBytes(t, VersionedPair(2, false).bytes);
    ASSERT_NE(t.objects[0].neighbours, nullptr);
    EXPECT_EQ(Neighbour(t.objects[0], 0, 2), 1);
    EXPECT_EQ(Neighbour(t.objects[0], 0, 0), -1);
    ReleaseScene(t);
}

TEST(SceneLoad, ResavedOldFileComesOutCurrentWithItsLists) {
    Scene s{};
    LoadBytes(s, VersionedPair(0, false).bytes);
    std::string saved = SaveSceneData(s);
    Scene t{};
    LoadBytes(t, saved);
    EXPECT_EQ(t.versionminor, 2);
    EXPECT_EQ(Neighbour(t.objects[0], 1, 0), 0);
    EXPECT_EQ(LabelBytes(" neighbour calc  "), 24u);  // only s's
    ReleaseScene(s);
    ReleaseScene(t);
}

// ------------------------------------------------------------ refusals

TEST(SceneLoadRefuses, AMissingFileWithItsMessage) {
    ThrowOnFailure hook;
    Scene s{};
    try {
        LoadScene(s, S("/nonexistent/x.vlm"));
        ADD_FAILURE() << "loaded";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailFatalStop);
        EXPECT_EQ(f.message, "File (/nonexistent/x.vlm) not found.");
    }
}

TEST(SceneLoadRefuses, FilesCutShortThroughRunError100) {
    for (std::string cut : {std::string(), std::string("F"), std::string("F!\x03"), std::string("abc")}) {
        Failure f = LoadFails(cut);
        EXPECT_EQ(f.kind, FailRunError);
        EXPECT_EQ(f.code, 100);
    }
    ChunkWriter w = MinimalHead(1);
    AddObject(w, 0, Quad, QuadFaces);
    std::string whole = w.bytes;
    // Inside a header, inside a payload, and 2 bytes after the last chunk.
    for (size_t keep : {whole.size() - 30, whole.size() - 3, (size_t)30}) {
        Failure f = LoadFails(whole.substr(0, keep));
        EXPECT_EQ(f.code, 100) << keep;
    }
    Failure f = LoadFails(whole + "zz");
    EXPECT_EQ(f.code, 100);
    EXPECT_NE(f.message.find("bad.vlm"), std::string::npos);
}

TEST(SceneLoadRefuses, CountTimesElementSizeOtherThanSize) {
    ChunkWriter w = MinimalHead();
    w.raw(3, 4, 2, 4, 0, 0, "abcd");
    Failure f = LoadFails(w.bytes);
    EXPECT_EQ(f.kind, FailFatalStop);
    EXPECT_EQ(f.message, "Chunk size corruption !");
    ChunkWriter n = MinimalHead();
    n.raw(3, 4, -1, -4, 0, 0, "");
    EXPECT_EQ(LoadFails(n.bytes).message, "Chunk size corruption !");
}

TEST(SceneLoadRefuses, ElementTypesAbove13) {
    ChunkWriter w = MinimalHead();
    w.raw(14, 4, 1, 1, 0, 0, "a");
    EXPECT_EQ(LoadFails(w.bytes).message, "Chunk type corruption !");
}

TEST(SceneLoadRefuses, IndicesOutsideTheirArrays) {
    ChunkWriter m = MinimalHead();
    m.f32(15, 1, 0.5f);  // material 1 of 1
    EXPECT_EQ(LoadFails(m.bytes).message, "Chunk index corruption !");
    ChunkWriter neg = MinimalHead();
    neg.f32(15, -1, 0.5f);
    EXPECT_EQ(LoadFails(neg.bytes).message, "Chunk index corruption !");
    ChunkWriter o = MinimalHead(2);
    o.i32(34, 2, 4);
    EXPECT_EQ(LoadFails(o.bytes).message, "Chunk index corruption !");
    ChunkWriter l = MinimalHead();
    l.vec(75, 8, 1, 2, 3);  // light 8 of 0..7
    EXPECT_EQ(LoadFails(l.bytes).message, "Chunk index corruption !");
}

TEST(SceneLoadRefuses, RecordChunksBeforeTheirCountAndCountsTwice) {
    ChunkWriter m;
    m.str(12, 0, "early");
    EXPECT_EQ(LoadFails(m.bytes).message, "Chunk order corruption !");
    ChunkWriter o;
    o.i32(5, 0, 1);
    o.chunk(6, 51, 0, 4, Quad.data(), 12, true);
    EXPECT_EQ(LoadFails(o.bytes).message, "Chunk order corruption !");
    ChunkWriter twice = MinimalHead();
    twice.i32(5, 0, 1);
    EXPECT_EQ(LoadFails(twice.bytes).message, "Chunk order corruption !");
    ChunkWriter twice6 = MinimalHead();
    twice6.i32(6, 0, 0);
    EXPECT_EQ(LoadFails(twice6.bytes).message, "Chunk order corruption !");
}

TEST(SceneLoadRefuses, CountsNoFileCouldHold) {
    ChunkWriter w;
    w.i32(6, 0, 1 << 30);
    EXPECT_EQ(LoadFails(w.bytes).message, "Chunk size corruption !");
    ChunkWriter n;
    n.i32(5, 0, -2);
    EXPECT_EQ(LoadFails(n.bytes).message, "Chunk size corruption !");
}

TEST(SceneLoadRefuses, PayloadsLargerThanTheirField) {
    ChunkWriter w = MinimalHead();
    w.raw(1, 4, 8, 8, 0, 0, "12345678");  // 8 bytes into the int32 sceneparam
    EXPECT_EQ(LoadFails(w.bytes).message, "Chunk size corruption !");
    ChunkWriter n = MinimalHead();
    std::string big(512, 'n');
    n.raw(8, 3, 2, 512, 0, 0, big);  // two names into one
    EXPECT_EQ(LoadFails(n.bytes).message, "Chunk size corruption !");
}

TEST(SceneLoadRefuses, PackedPayloadsThatDoNotInflateToTheirSize) {
    std::string name(256, 'x');
    std::string z = Zpack(name);
    // Says 512 bytes (two names' worth of type 8): too long for the field
    // anyway; use an array to test the inflate itself.
    std::vector<Vector> v(4, Vector{1, 2, 3});
    std::string raw = Bytes(v.data(), 48);
    std::string zv = Zpack(raw);
    ChunkWriter shortOut = MinimalHead(1);
    shortOut.raw(6, 51, 5, 60, (int32_t)zv.size(), 0, zv);  // inflates to 48, not 60
    EXPECT_EQ(LoadFails(shortOut.bytes).message, "Chunk size corruption !");
    ChunkWriter longOut = MinimalHead(1);
    longOut.raw(6, 51, 3, 36, (int32_t)zv.size(), 0, zv);  // would give 48 into 36
    EXPECT_EQ(LoadFails(longOut.bytes).message, "Chunk size corruption !");
    ChunkWriter garbage = MinimalHead(1);
    garbage.raw(6, 51, 4, 48, 20, 0, std::string(20, '\x55'));
    EXPECT_EQ(LoadFails(garbage.bytes).message, "Chunk size corruption !");
    ChunkWriter scalar = MinimalHead();
    std::string zs = Zpack(name.substr(0, 100));
    scalar.raw(8, 3, 1, 256, (int32_t)zs.size(), 0, zs);  // a name that inflates to 100 bytes
    EXPECT_EQ(LoadFails(scalar.bytes).message, "Chunk size corruption !");
    ChunkWriter bomb = MinimalHead(1);
    bomb.raw(9, 52, 100000000, 1200000000, 16, 0, std::string(16, 'z'));  // 1.2 GB from 16 bytes
    EXPECT_EQ(LoadFails(bomb.bytes).message, "Chunk size corruption !");
}

// The format allows more entries than the count and leaves out what nothing
// reads; only a shorter or a needed array is refused.
TEST(SceneLoad, LongerArraysAndArraysNothingReadsAreAccepted) {
    ChunkWriter longer = MinimalHead(1);
    AddObject(longer, 0, Quad, QuadFaces);
    longer.i32(34, 0, 3);  // 4 vertices, 3 counted: the faces reach only 0..2
    longer.i32(35, 0, 1);  // 2 faces, 1 counted
    ChunkWriter noOriginals = MinimalHead(1);  // version 1.2 with its own list
    noOriginals.str(33, 0, "obj0");
    noOriginals.i32(34, 0, 4);
    noOriginals.i32(35, 0, 2);
    noOriginals.chunk(6, 51, 0, 4, Quad.data(), 12, true);
    noOriginals.chunk(9, 52, 0, 2, QuadFaces.data(), 12, true);
    std::vector<FaceNeighbours> n = {{{-1, 1, -1}}, {{0, -1, -1}}};
    noOriginals.chunk(9, 86, 0, 2, n.data(), 12, true);
    ChunkWriter noStrip = MinimalHead(1);
    AddObject(noStrip, 0, Quad, QuadFaces);
    noStrip.i32(40, 0, 4);  // striplength, no strip: drawn from its faces
    for (const std::string& bytes : {longer.bytes, noOriginals.bytes, noStrip.bytes}) {
        Scene s{};
        LoadBytes(s, bytes);
        EXPECT_EQ(s.objectcount, 1);
        ReleaseScene(s);
    }
    Scene s{};
    LoadBytes(s, longer.bytes);
    EXPECT_EQ(s.objects[0].vertexcount, 3);
    EXPECT_EQ(s.objects[0].facecount, 1);
    ReleaseScene(s);
    // Strips drawn from, and original faces the neighbour search needs,
    // must be there.
    ChunkWriter stripDrawn = noStrip;
    stripDrawn.u8(47, 0, 1);  // rendermode 1
    EXPECT_NE(LoadFails(stripDrawn.bytes).message.find("strip is missing"), std::string::npos);
    ChunkWriter noList = MinimalHead(1);
    noList.str(33, 0, "obj0");
    noList.i32(34, 0, 4);
    noList.i32(35, 0, 2);
    noList.chunk(6, 51, 0, 4, Quad.data(), 12, true);
    noList.chunk(9, 52, 0, 2, QuadFaces.data(), 12, true);
    EXPECT_NE(LoadFails(noList.bytes).message.find("origfaces is missing"), std::string::npos);
}

TEST(SceneLoadRefuses, ArraysThatDisagreeWithTheirCounts) {
    ChunkWriter w = MinimalHead(1);
    AddObject(w, 0, Quad, QuadFaces);
    w.i32(34, 0, 5);  // says 5 vertices, has 4
    Failure f = LoadFails(w.bytes, "counts.vlm");
    EXPECT_EQ(f.kind, FailFatalStop);
    EXPECT_EQ(f.message,
              "Scene corruption ! (counts.vlm) object 0 \"obj0\": vertices holds 4 entries, vertexcount is 5");
    ChunkWriter missing = MinimalHead(1);
    missing.str(33, 0, "hollow");
    missing.i32(35, 0, 3);
    EXPECT_NE(LoadFails(missing.bytes).message.find("faces is missing"), std::string::npos);
    ChunkWriter colours = MinimalHead(1);
    AddObject(colours, 0, Quad, QuadFaces);
    colours.flag(43, 0, true);  // hascolors without colours
    EXPECT_NE(LoadFails(colours.bytes).message.find("colors is missing"), std::string::npos);
    ChunkWriter keys = MinimalHead();
    keys.i32(73, 4, 2);  // light 4 says 2 keys, has none
    std::string m = LoadFails(keys.bytes).message;
    EXPECT_NE(m.find("light 4"), std::string::npos) << m;
    ChunkWriter cam = MinimalHead();
    TrackKey k[2] = {{0, {0, 0, 0}}, {1, {1, 1, 1}}};
    cam.i32(11, 0, 3);
    cam.chunk(10, 71, 0, 2, k, 16);
    EXPECT_NE(LoadFails(cam.bytes).message.find("camtargetkeys holds 2 entries"), std::string::npos);
    ChunkWriter negative = MinimalHead(1);
    AddObject(negative, 0, Quad, QuadFaces);
    negative.i32(37, 0, -1);
    EXPECT_NE(LoadFails(negative.bytes).message.find("poskeycount is -1"), std::string::npos);
}

TEST(SceneLoadRefuses, IndicesReachingOutsideTheirArrays) {
    ChunkWriter faces = MinimalHead(1);
    AddObject(faces, 0, Quad, {{0, 1, 4}});
    std::string m = LoadFails(faces.bytes, "f.vlm").message;
    EXPECT_EQ(m, "Scene corruption ! (f.vlm) object 0 \"obj0\": face 0 (0, 1, 4) reaches outside 4 vertices");
    ChunkWriter negative = MinimalHead(1);
    AddObject(negative, 0, Quad, {{0, -1, 2}});
    EXPECT_NE(LoadFails(negative.bytes).message.find("face 0"), std::string::npos);
    ChunkWriter strip = MinimalHead(1);
    AddObject(strip, 0, Quad, QuadFaces);
    uint16_t s[4] = {0, 1, 2, 9};
    strip.i32(40, 0, 4);
    strip.chunk(2, 50, 0, 4, s, 2, true);
    EXPECT_NE(LoadFails(strip.bytes).message.find("strip index 3 is 9"), std::string::npos);
    ChunkWriter nb = MinimalHead(1);
    AddObject(nb, 0, Quad, QuadFaces);
    FaceNeighbours n[2] = {{{1, -1, -1}}, {{-1, 2, -1}}};
    nb.chunk(9, 86, 0, 2, n, 12, true);
    EXPECT_NE(LoadFails(nb.bytes).message.find("neighbour 2 of face 1"), std::string::npos);
    ChunkWriter below = MinimalHead(1);
    AddObject(below, 0, Quad, QuadFaces);
    FaceNeighbours b[2] = {{{-2, -1, -1}}, {{-1, -1, -1}}};
    below.chunk(9, 86, 0, 2, b, 12, true);
    EXPECT_NE(LoadFails(below.bytes).message.find("neighbour -2"), std::string::npos);
}

TEST(SceneLoadRefuses, ObjectsNamingAMissingMaterial) {
    ChunkWriter w = MinimalHead(2);
    AddObject(w, 0, Quad, QuadFaces);
    AddObject(w, 1, Quad, QuadFaces);
    w.i32(36, 1, 1);  // material 1 of 1
    EXPECT_EQ(LoadFails(w.bytes, "m.vlm").message,
              "Scene corruption ! (m.vlm) object 1 \"obj1\": material 1 does not exist (1 materials)");
    ChunkWriter none;
    none.i32(5, 0, 0);
    none.i32(6, 0, 1);
    EXPECT_NE(LoadFails(none.bytes).message.find("material 0 does not exist"), std::string::npos);
}

TEST(SceneLoadRefuses, NothingIsReleasedTwiceWhenARepeatedArrayPrecedesARefusal) {
    // A repeated array chunk replaces the first block; a refusal after it
    // gives back exactly what is live (LoadFails checks the count).
    ChunkWriter w = MinimalHead(1);
    AddObject(w, 0, Quad, QuadFaces);
    w.chunk(6, 51, 0, 4, Quad.data(), 12, true);
    w.raw(14, 4, 1, 1, 0, 0, "a");
    LoadFails(w.bytes);
}

}  // namespace
