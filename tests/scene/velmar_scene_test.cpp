// velmar scene info|dump|eval|resave, run as a user runs them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>

#include "scene_helpers.h"
#include "support/support.h"

namespace {

std::string Velmar() { return ShowDir() + "/velmar"; }

struct TempDir {
    std::string dir = MakeTempDir("vscene");
    ~TempDir() { RemoveTree(dir); }
    std::string put(const std::string& name, const std::string& bytes) const {
        WriteFile(dir + "/" + name, bytes);
        return dir + "/" + name;
    }
};

Json VelmarJson(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {Velmar(), "scene"};
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult r = RunProgram(argv);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return ParseJson(r.out);
}

// A value at a path such as "objects/0/pivot".
const Json& At(const Json& root, const std::string& path) {
    const Json* j = &root;
    std::stringstream ss(path);
    std::string part;
    while (std::getline(ss, part, '/')) {
        if (j->kind == Json::Array) j = &(*j)[(size_t)std::stoul(part)];
        else j = &(*j)[part];
    }
    return *j;
}

void Flatten(const Json& j, std::vector<double>& out) {
    if (j.kind == Json::Array)
        for (const Json& i : j.items) Flatten(i, out);
    else
        out.push_back(j.kind == Json::Bool ? (j.b ? 1 : 0) : j.n);
}

// The independent writer, recording what each chunk should come back as.
struct Recorder {
    ChunkWriter w;
    struct Expectation {
        std::string path;
        std::vector<double> numbers;  // floats stored as their float value
        std::string text;
        bool isText, isBool, isFloat;
    };
    std::vector<Expectation> expect;
    float seed = 0.3f;
    float next() { return seed = std::fmod(seed * 3.7f + 1.13f, 977.0f) - 11.5f; }

    void i32(const std::string& path, uint8_t kind, int32_t index, int32_t v) {
        w.i32(kind, index, v);
        expect.push_back({path, {(double)v}, "", false, false, false});
    }
    void f32(const std::string& path, uint8_t kind, int32_t index) {
        float v = next();
        w.f32(kind, index, v);
        expect.push_back({path, {(double)v}, "", false, false, true});
    }
    void u8(const std::string& path, uint8_t kind, int32_t index, uint8_t v) {
        w.u8(kind, index, v);
        expect.push_back({path, {(double)v}, "", false, false, false});
    }
    void flag(const std::string& path, uint8_t kind, int32_t index, bool v) {
        w.flag(kind, index, v);
        expect.push_back({path, {v ? 1.0 : 0.0}, "", false, true, false});
    }
    void vec(const std::string& path, uint8_t kind, int32_t index) {
        float x = next(), y = next(), z = next();
        w.vec(kind, index, x, y, z);
        expect.push_back({path, {x, y, z}, "", false, false, true});
    }
    void floats(const std::string& path, uint8_t type, uint8_t kind, int32_t index, int n, bool packed) {
        std::vector<float> v;
        for (int i = 0; i < n; ++i) v.push_back(next());
        w.chunk(type, kind, index, 1, v.data(), 4 * (size_t)n, packed);
        expect.push_back({path, std::vector<double>(v.begin(), v.end()), "", false, false, true});
    }
    void str(const std::string& path, uint8_t kind, int32_t index, const std::string& s) {
        w.str(kind, index, s);
        expect.push_back({path, {}, s, true, false, false});
    }
    // An array whose elements are given as flat numbers; `floatMask` says
    // which positions in an element are floats.
    template <class T>
    void array(const std::string& path, uint8_t type, uint8_t kind, int32_t index, const std::vector<T>& v,
               const std::function<std::vector<double>(const T&)>& flat, bool hasFloats) {
        w.chunk(type, kind, index, (int32_t)v.size(), v.data(), sizeof(T), true);
        std::vector<double> all;
        for (const T& e : v)
            for (double d : flat(e)) all.push_back(d);
        expect.push_back({path, all, "", false, false, hasFloats});
    }
    std::vector<TrackKey> keys(int n) {
        std::vector<TrackKey> k;
        for (int i = 0; i < n; ++i) k.push_back(TrackKey{i * 12 - 3, {next(), next(), next()}});
        return k;
    }
};

std::vector<double> FlatKey(const TrackKey& k) { return {(double)k.frame, k.point.x, k.point.y, k.point.z}; }
std::vector<double> FlatVec(const Vector& v) { return {v.x, v.y, v.z}; }
std::vector<double> FlatFace(const Face& f) { return {(double)f.a, (double)f.b, (double)f.c}; }

TEST(VelmarScene, DumpOfAnIndependentlyWrittenFileGivesBackEveryValue) {
    Recorder r;
    r.u8("versionmajor", 1, 0, 1);
    r.u8("versionminor", 2, 0, 2);
    r.i32("chunkcount", 87, 0, 4321);
    r.str("name", 3, 0, "written by hand");
    r.i32("sceneparam", 4, 0, -17);
    r.i32("materialcount", 5, 0, 2);
    r.i32("objectcount", 6, 0, 1);
    r.f32("camerafov", 7, 0);
    r.f32("cameranear", 8, 0);
    r.f32("camerafar", 9, 0);
    r.i32("camposkeycount", 10, 0, 3);
    r.i32("camtargetkeycount", 11, 0, 2);
    r.f32("viewdistance", 84, 0);
    r.f32("materialscale", 90, 0);
    for (int m = 0; m < 2; ++m) {
        std::string p = "materials/" + std::to_string(m) + "/";
        r.str(p + "name", 12, m, "mat" + std::to_string(m));
        r.str(p + "texturename", 13, m, "tex" + std::to_string(m) + ".tga");
        r.str(p + "envmaptexture", 14, m, "env" + std::to_string(m) + ".jpg");
        for (auto [kind, field] : std::vector<std::pair<int, const char*>>{
                 {15, "transparency"}, {16, "utile"}, {17, "vtile"}, {18, "alphatest"}, {19, "constantalpha"},
                 {20, "flaresize"}, {92, "envmapalpha"}})
            r.f32(p + field, (uint8_t)kind, m);
        r.vec(p + "envmapcolor", 93, m);
        r.flag(p + "envmapblend", 94, m, m == 1);
        r.i32(p + "magtype", 21, m, 3 - m);
        r.i32(p + "shine", 22, m, 64 + m);
        r.flag(p + "envmap", 23, m, m == 0);
        r.flag(p + "receivelight", 24, m, m == 1);
        r.flag(p + "textured", 25, m, true);
        r.u8(p + "depthtest", 26, m, (uint8_t)(2 + m));
        r.u8(p + "depthfunc", 82, m, (uint8_t)(4 - m));
        r.u8(p + "blend", 27, m, (uint8_t)(1 + m));
        r.u8(p + "texturewrap", 28, m, 1);
        r.w.u8(29, m, 16);  // depth: the loader sets 24, checked below
        r.vec(p + "ambient", 30, m);
        r.vec(p + "diffuse", 31, m);
        r.vec(p + "specular", 32, m);
    }
    const std::string o = "objects/0/";
    r.str(o + "name", 33, 0, "thing");
    r.i32(o + "vertexcount", 34, 0, 4);
    r.i32(o + "facecount", 35, 0, 2);
    r.i32(o + "material", 36, 0, 1);
    r.i32(o + "poskeycount", 37, 0, 2);
    r.i32(o + "rotkeycount", 38, 0, 2);
    r.i32(o + "scalekeycount", 39, 0, 1);
    r.i32(o + "striplength", 40, 0, 4);
    r.i32(o + "passno", 41, 0, 3);
    r.flag(o + "hasuv", 42, 0, true);
    r.flag(o + "hascolors", 43, 0, true);
    r.flag(o + "hasnormals", 44, 0, true);
    r.flag(o + "visible", 45, 0, true);
    r.flag(o + "backfacecull", 46, 0, false);
    r.flag(o + "castshadow", 88, 0, true);
    r.flag(o + "scalematerial", 89, 0, true);
    r.u8(o + "cullmode", 83, 0, 1);
    r.u8(o + "rendermode", 47, 0, 1);
    r.floats(o + "matrix", 12, 48, 0, 16, true);
    r.vec(o + "pivot", 49, 0);
    r.vec(o + "texturescroll", 91, 0);
    r.flag(o + "fog", 95, 0, true);
    r.u8(o + "fogmode", 96, 0, 2);
    r.vec(o + "fogparams", 97, 0);
    r.floats(o + "fogcolor", 7, 98, 0, 4, false);
    r.str(o + "particletexture", 59, 0, "spark.png");
    r.i32(o + "newparticle", 60, 0, 25);
    r.f32(o + "power", 61, 0);
    r.f32(o + "deltapower", 62, 0);
    r.f32(o + "size", 63, 0);
    r.flag(o + "particleenabled", 64, 0, true);
    r.u8(o + "colorattrib", 65, 0, 6);
    r.vec(o + "deltavector", 66, 0);
    r.vec(o + "deltavectorspread", 67, 0);
    r.vec(o + "color", 68, 0);
    r.vec(o + "colorspread", 69, 0);
    r.u8(o + "wireframe", 80, 0, 1);
    r.u8(o + "spareflag", 81, 0, 9);
    std::vector<uint16_t> strip = {0, 1, 3, 2};
    r.array<uint16_t>(o + "strip", 2, 50, 0, strip, [](const uint16_t& s) { return std::vector<double>{(double)s}; },
                      false);
    std::vector<Vector> verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}};
    r.array<Vector>(o + "vertices", 6, 51, 0, verts, FlatVec, true);
    std::vector<Face> faces = {{0, 1, 2}, {0, 2, 3}}, orig = {{5, 6, 7}, {5, 7, 8}};
    r.array<Face>(o + "faces", 9, 52, 0, faces, FlatFace, false);
    r.array<Face>(o + "origfaces", 9, 99, 0, orig, FlatFace, false);
    std::vector<FaceNeighbours> nb = {{{-1, -1, 1}}, {{0, -1, -1}}};
    r.array<FaceNeighbours>(o + "neighbours", 9, 86, 0, nb,
                            [](const FaceNeighbours& n) {
                                return std::vector<double>{(double)n.edge[0], (double)n.edge[1], (double)n.edge[2]};
                            },
                            false);
    std::vector<Vector> cols = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5f, 0.25f, 0.125f}};
    r.array<Vector>(o + "colors", 6, 53, 0, cols, FlatVec, true);
    std::vector<TexCoord> uv = {{0, 0}, {1, 0}, {1, 1}, {0.1f, 0.9f}};
    r.array<TexCoord>(o + "uvs", 5, 54, 0, uv, [](const TexCoord& t) { return std::vector<double>{t.u, t.v}; }, true);
    std::vector<Vector> norms = {{0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0.6f, 0.8f, 0}};
    r.array<Vector>(o + "normals", 6, 55, 0, norms, FlatVec, true);
    r.array<TrackKey>(o + "poskeys", 10, 56, 0, r.keys(2), FlatKey, true);
    std::vector<RotationKey> rot = {{0, {0.1f, 0.2f, 0.3f, 0.4f}}, {9, {-1, 0, 0.5f, 2}}};
    r.array<RotationKey>(o + "rotkeys", 11, 57, 0, rot,
                         [](const RotationKey& k) {
                             return std::vector<double>{(double)k.frame, k.quat[0], k.quat[1], k.quat[2], k.quat[3]};
                         },
                         true);
    r.array<TrackKey>(o + "scalekeys", 10, 58, 0, r.keys(1), FlatKey, true);
    r.array<TrackKey>("camposkeys", 10, 70, 0, r.keys(3), FlatKey, true);
    r.array<TrackKey>("camtargetkeys", 10, 71, 0, r.keys(2), FlatKey, true);
    for (int l = 0; l < 8; ++l) {
        std::string p = "lights/" + std::to_string(l) + "/";
        r.str(p + "name", 72, l, "lamp " + std::to_string(l));
        r.i32(p + "poskeycount", 73, l, l == 6 ? 2 : 0);
        r.flag(p + "enabled", 74, l, l % 2 == 1);
        r.vec(p + "pos", 75, l);
        r.vec(p + "ambient", 76, l);
        r.vec(p + "diffuse", 77, l);
        r.vec(p + "specular", 78, l);
        if (l == 6) r.array<TrackKey>(p + "poskeys", 10, 79, l, r.keys(2), FlatKey, true);
    }
    TempDir t;
    std::string file = t.put("hand.vlm", r.w.bytes);
    Json dump = VelmarJson({"dump", file});
    for (const auto& e : r.expect) {
        SCOPED_TRACE(e.path);
        const Json& v = At(dump, e.path);
        if (e.isText) {
            ASSERT_EQ(v.kind, Json::String);
            EXPECT_EQ(v.s, e.text);
            continue;
        }
        if (e.isBool) {
            ASSERT_EQ(v.kind, Json::Bool);
            EXPECT_EQ(v.b, e.numbers[0] != 0);
            continue;
        }
        std::vector<double> got;
        Flatten(v, got);
        ASSERT_EQ(got.size(), e.numbers.size());
        for (size_t i = 0; i < got.size(); ++i) {
            if (e.isFloat) EXPECT_EQ((float)got[i], (float)e.numbers[i]) << i;
            else EXPECT_EQ(got[i], e.numbers[i]) << i;
        }
    }
    // What the loader works out or resets.
    EXPECT_EQ(At(dump, "materials/0/depth").n, 24);
    EXPECT_EQ(At(dump, "maxpassno").n, 3);
    EXPECT_EQ(At(dump, "shadowlength").n, 1000);
    EXPECT_EQ(At(dump, "objects/0/rotation").items.size(), 3u);
    EXPECT_EQ(At(dump, "objects/0/lightvisible").n, 2);  // scratch: the count
    EXPECT_EQ(At(dump, "objects/0/contour").n, 2);
    EXPECT_EQ(At(dump, "volumearray").n, 24);
    EXPECT_EQ(At(dump, "volumeindex").items.size(), 12u);
    EXPECT_EQ(At(dump, "camposease").items.size(), 3u);
    EXPECT_EQ(At(dump, "particles").kind, Json::Null);
    EXPECT_EQ(At(dump, "lights/0/poskeys").kind, Json::Null);
    EXPECT_EQ(At(dump, "objects/0/facenormals/0/2").n, -1);  // (0,1,2) seen from +Z
    EXPECT_EQ(At(dump, "materials/1/glname").n, 0);
}

TEST(VelmarScene, DumpKeysFollowTheRecordsInOrder) {
    Scene s;
    MakeRichScene(s);
    TempDir t;
    std::string file = t.put("rich.vlm", SaveSceneData(s));
    ReleaseScene(s);
    Json dump = VelmarJson({"dump", file});
    std::vector<std::string> top = dump.keys();
    ASSERT_EQ(top.size(), 28u);
    EXPECT_EQ(top[0], "chunkcount");
    EXPECT_EQ(top[14], "materials");
    EXPECT_EQ(top[23], "lights");
    EXPECT_EQ(top[27], "materialscale");
    EXPECT_EQ(dump["materials"][0].keys().size(), 27u);
    std::vector<std::string> ok = dump["objects"][0].keys();
    ASSERT_EQ(ok.size(), 56u);
    EXPECT_EQ(ok.front(), "rendermode");
    EXPECT_EQ(ok.back(), "fogcolor");
    EXPECT_EQ(dump["lights"].items.size(), 8u);
    EXPECT_EQ(dump["lights"][0].keys().size(), 8u);
    // Written always, empty here: an empty array, not an absent one.
    EXPECT_EQ(dump["objects"][2]["vertices"].kind, Json::Array);
    EXPECT_EQ(dump["objects"][2]["vertices"].items.size(), 0u);
    EXPECT_EQ(dump["objects"][1]["colors"].kind, Json::Null);
}

TEST(VelmarScene, InfoCountsWhatTheFileHolds) {
    Scene s;
    MakeRichScene(s);
    TempDir t;
    ChunkWriter junk;
    junk.junk("????");
    std::string file = t.put("rich.vlm", junk.bytes + SaveSceneData(s));
    ReleaseScene(s);
    Json info = VelmarJson({"info", file});
    EXPECT_EQ(info["version"].s, "1.2");
    EXPECT_EQ(info["name"].s, "rich scene");
    EXPECT_EQ(info["materials"].n, 2);
    EXPECT_EQ(info["objects"].n, 3);
    EXPECT_EQ(info["faces"].n, 9);
    EXPECT_EQ(info["vertices"].n, 11);
    EXPECT_EQ(info["keys"]["camera position"].n, 3);
    EXPECT_EQ(info["keys"]["object rotation"].n, 2);
    EXPECT_EQ(info["keys"]["light position"].n, 3);
    EXPECT_EQ(info["skipped"].n, 4);
    int chunks = 0;
    bool saw86 = false;
    for (const Json& k : info["kinds"].items) {
        chunks += (int)k[1].n;
        saw86 = saw86 || k[0].n == 86;
    }
    EXPECT_TRUE(saw86);
    EXPECT_EQ(chunks, info["chunks"].n);
    EXPECT_EQ(info["kinds"][0][0].n, 1);  // sorted by kind
}

TEST(VelmarScene, EvalGivesCameraObjectsAndLightsAtATime) {
    ChunkWriter w;
    w.u8(1, 0, 1);
    w.u8(2, 0, 2);
    w.i32(5, 0, 1);
    w.i32(6, 0, 2);
    TrackKey cam[3] = {{0, {0, 0, 0}}, {10, {6, 0, 0}}, {20, {12, 0, 0}}};
    TrackKey tgt[2] = {{0, {0, 0, 1}}, {20, {0, 0, 3}}};
    w.i32(10, 0, 3);
    w.i32(11, 0, 2);
    w.chunk(10, 70, 0, 3, cam, 16, true);
    w.chunk(10, 71, 0, 2, tgt, 16, true);
    TrackKey ok[2] = {{0, {0, 0, 0}}, {100, {10, 0, 0}}};
    w.str(33, 0, "mover");
    w.i32(37, 0, 2);
    w.chunk(10, 56, 0, 2, ok, 16, true);
    w.str(33, 1, "still");
    w.str(72, 0, "fixed");
    w.vec(75, 0, 1, 2, 3);
    w.str(72, 1, "moving");
    w.i32(73, 1, 2);
    w.chunk(10, 79, 1, 2, ok, 16, true);
    TempDir t;
    std::string file = t.put("eval.vlm", w.bytes);
    Json e = VelmarJson({"eval", file, "--at", "5"});
    EXPECT_EQ(e["t"].n, 5);
    EXPECT_EQ(e["camera"]["eye"][0].f(), 2.625f);
    // Two keys: ease (0, 0, 1/3) at both; u = 1/4 gives (27 + 36 + 24 + 3) / 64.
    EXPECT_NEAR(e["camera"]["target"][2].f(), 90.0f / 64, 1e-6);
    EXPECT_EQ(e["objects"][0]["name"].s, "mover");
    EXPECT_EQ(e["objects"][0]["pos"][0].f(), 0.5f);
    EXPECT_EQ(e["objects"][1]["pos"][0].f(), 0.0f);
    EXPECT_EQ(e["lights"].items.size(), 8u);
    EXPECT_EQ(e["lights"][0]["pos"][2].f(), 3.0f);
    EXPECT_EQ(e["lights"][1]["name"].s, "moving");
    EXPECT_EQ(e["lights"][1]["pos"][0].f(), 0.5f);
    Json late = VelmarJson({"eval", file, "--at", "250"});
    EXPECT_EQ(late["camera"]["eye"][0].f(), 12.0f);
    EXPECT_EQ(late["objects"][0]["pos"][0].f(), 10.0f);
}

TEST(VelmarScene, EvalWithoutCameraTracksShowsNoCamera) {
    ChunkWriter w;
    w.i32(5, 0, 0);
    TempDir t;
    Json e = VelmarJson({"eval", t.put("nocam.vlm", w.bytes), "--at", "1"});
    EXPECT_EQ(e["camera"].kind, Json::Null);
}

TEST(VelmarScene, ResaveTurnsAnOldFileIntoACurrentOneWithLists) {
    ChunkWriter w;
    w.u8(1, 0, 1);
    w.u8(2, 0, 0);
    w.i32(5, 0, 1);
    w.i32(6, 0, 1);
    w.str(33, 0, "pair");
    std::vector<Vector> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    std::vector<Face> f = {{0, 1, 2}, {0, 2, 3}};
    w.i32(34, 0, 4);
    w.i32(35, 0, 2);
    w.chunk(6, 51, 0, 4, v.data(), 12, true);
    w.chunk(9, 52, 0, 2, f.data(), 12, true);
    w.chunk(9, 99, 0, 2, f.data(), 12, true);
    TempDir t;
    std::string in = t.put("old.vlm", w.bytes), out = t.dir + "/new.vlm";
    RunResult r = RunProgram({Velmar(), "scene", "resave", in, out});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    Json info = VelmarJson({"info", out});
    EXPECT_EQ(info["version"].s, "1.2");
    bool saw86 = false;
    for (const Json& k : info["kinds"].items) saw86 = saw86 || k[0].n == 86;
    EXPECT_TRUE(saw86);
    Json dump = VelmarJson({"dump", out});
    EXPECT_EQ(dump["objects"][0]["neighbours"][0][2].n, 1);
    EXPECT_EQ(dump["objects"][0]["neighbours"][1][0].n, 0);
    // The saved file starts with the fixed header.
    std::string bytes = ReadFileText(out);
    EXPECT_EQ(bytes.substr(0, 4), std::string("F!\x03\x57", 4));
}

TEST(VelmarScene, BadFilesGetOneLineAndExitCode2) {
    TempDir t;
    ChunkWriter corrupt;
    corrupt.raw(3, 4, 2, 4, 0, 0, "abcd");
    ChunkWriter faces;
    faces.i32(5, 0, 1);
    faces.i32(6, 0, 1);
    faces.i32(34, 0, 1);
    faces.i32(35, 0, 1);
    Vector v{0, 0, 0};
    Face f{0, 0, 7};
    faces.chunk(6, 51, 0, 1, &v, 12);
    faces.chunk(9, 52, 0, 1, &f, 12);
    faces.chunk(9, 99, 0, 1, &f, 12);
    struct Case {
        std::string file, expect;
    };
    std::vector<Case> cases = {
        {t.put("cut.vlm", "F!"), "read past end of " + t.dir + "/cut.vlm"},
        {t.put("empty.vlm", ""), "read past end of " + t.dir + "/empty.vlm"},
        {t.put("size.vlm", corrupt.bytes), t.dir + "/size.vlm: Chunk size corruption !"},
        {t.put("faces.vlm", faces.bytes),
         "Scene corruption ! (" + t.dir + "/faces.vlm) object 0 \"\": face 0 (0, 0, 7)"},
        {t.dir + "/missing.vlm", "cannot read " + t.dir + "/missing.vlm: no such file"},
    };
    for (const Case& c : cases) {
        for (const char* sub : {"info", "dump"}) {
            RunResult r = RunProgram({Velmar(), "scene", sub, c.file});
            EXPECT_EQ(r.code, 2) << c.file;
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err.rfind("velmar scene: " + c.expect, 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }
    RunResult r = RunProgram({Velmar(), "scene", "eval", t.put("ok.vlm", "")});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--at"), std::string::npos);
    r = RunProgram({Velmar(), "scene", "spin", t.dir + "/ok.vlm"});
    EXPECT_EQ(r.code, 2);
    for (const char* bad : {"/cut.vlm", "/empty.vlm"}) {
        r = RunProgram({Velmar(), "scene", "resave", t.dir + bad, t.dir + "/out.vlm"});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_NE(access((t.dir + "/out.vlm").c_str(), F_OK), 0) << bad;  // nothing written
    }
    r = RunProgram({Velmar(), "scene", "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("velmar scene dump FILE"), std::string::npos);
}

}  // namespace
