// velmar scene import and export, run as an artist runs them: files of the
// asset library's own test corpus (Debian's assimp-testmodels) checked
// against what the library itself reads, its invalid files refused, and every
// show scene exported to glTF and imported back.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "render/tracks.h"
#include "scene/scenefile.h"
#include "support/support.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace {

const std::string Corpus = "/usr/share/assimp/models/";

RunResult Velmar(std::vector<std::string> args) {
    args.insert(args.begin(), ShowDir() + "/velmar");
    return RunProgram(args, {"DISPLAY=", "WAYLAND_DISPLAY=", "VELMAR_MODULE_OPENGL32_DLL=", "VELMAR_MODULE_GLU32_DLL="});
}

struct Loaded {
    Scene s{};
    explicit Loaded(const std::string& path) {
        std::string b = ReadFileText(path);
        LoadSceneData(s, S(path), (const uint8_t*)b.data(), b.size());
    }
    ~Loaded() { ReleaseScene(s); }
};

// Low and high corners of the vertices, as x, y, z, x, y, z.
struct Box {
    float v[6] = {INFINITY, INFINITY, INFINITY, -INFINITY, -INFINITY, -INFINITY};
    void add(Vector p) {
        const float c[3] = {p.x, p.y, p.z};
        for (int i = 0; i < 3; ++i) v[i] = std::min(v[i], c[i]), v[i + 3] = std::max(v[i + 3], c[i]);
    }
    bool near(const Box& o) const {
        for (int i = 0; i < 6; ++i)
            if (std::fabs(v[i] - o.v[i]) > 1e-4f * (1 + std::fabs(v[i]))) return false;
        return true;
    }
};
Box ObjectBox(const SceneObject& o) {
    Box b;
    for (int32_t i = 0; i < o.vertexcount; ++i) b.add(o.vertices[i]);
    return b;
}

bool Near(Vector a, Vector b) { return vecLength(vecSub(a, b)) <= 1e-4f * (1 + vecLength(a)); }

// What the library reads: its meshes through the node tree, in the engine's
// axes (+Z up).
struct LibraryView {
    int objects = 0, lights = 0, allLights = 0;
    int64_t faces = 0, vertices = 0, points = 0, lines = 0;
    std::set<unsigned> materials;
    Box box;
};
void Walk(const aiScene* ai, const aiNode* n, aiMatrix4x4 w, bool zUp, LibraryView& v) {
    w = w * n->mTransformation;
    for (unsigned k = 0; k < n->mNumMeshes; ++k) {
        const aiMesh* m = ai->mMeshes[n->mMeshes[k]];
        if (!(m->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) {
            (m->mPrimitiveTypes & aiPrimitiveType_POINT ? v.points : v.lines) += m->mNumFaces;
            continue;
        }
        ++v.objects, v.faces += m->mNumFaces, v.vertices += m->mNumVertices, v.materials.insert(m->mMaterialIndex);
        for (unsigned i = 0; i < m->mNumVertices; ++i) {
            aiVector3D p = w * m->mVertices[i];
            v.box.add(zUp ? Vector{p.x, p.y, p.z} : Vector{p.x, -p.z, p.y});
        }
    }
    for (unsigned c = 0; c < n->mNumChildren; ++c) Walk(ai, n->mChildren[c], w, zUp, v);
}

// The library's own reading, its memory held to 4 GiB as velmar holds it (a
// file of the invalid folder claims billions of faces).
const aiScene* LibraryRead(Assimp::Importer& imp, const std::string& file) {
    rlimit old, cap;
    getrlimit(RLIMIT_AS, &old);
    cap = old, cap.rlim_cur = std::min(old.rlim_cur, (rlim_t)4 << 30);
    setrlimit(RLIMIT_AS, &cap);
    const aiScene* ai = imp.ReadFile(file, aiProcess_Triangulate | aiProcess_GenSmoothNormals | aiProcess_JoinIdenticalVertices |
                                               aiProcess_SortByPType | aiProcess_ValidateDataStructure);
    setrlimit(RLIMIT_AS, &old);
    return ai;
}

std::string Between(const std::string& s, const std::string& from, const std::string& to) {
    size_t a = s.find(from), b = a == std::string::npos ? a : s.find(to, a + from.size());
    return b == std::string::npos ? "" : s.substr(a + from.size(), b - a - from.size());
}

bool PictureDrawn(const std::string& png) {
    int w = 0, h = 0, n = 0;
    unsigned char* p = stbi_load(png.c_str(), &w, &h, &n, 3);
    bool lit = false;
    for (int i = 0; p && i < w * h * 3 && !lit; ++i) lit = p[i] > 8;
    stbi_image_free(p);
    return lit;
}

struct SceneImport : ::testing::Test {
    std::string dir = MakeTempDir("import");
    void SetUp() override {
        if (access(Corpus.c_str(), R_OK) != 0) GTEST_SKIP() << "no " << Corpus << " (Debian package assimp-testmodels)";
        mkdir((dir + "/3ddata").c_str(), 0755);
    }
    ~SceneImport() override { RemoveTree(dir); }
};

struct CorpusCase {
    const char* file;
    std::vector<std::string> args;
    bool zUp;
    std::vector<TrackKey> target;  // the camera target the file holds, where checked
};

// glTF binary (embedded picture) and text, OBJ with materials and pictures,
// points and lines, a 3DS target camera, Collada with pictures, cameras and
// lights, FBX; each read as the library reads it and drawn.
TEST_F(SceneImport, CorpusFilesComeInAsTheLibraryReadsThem) {
    const CorpusCase cases[] = {
        {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", {}, false, {}},
        {"glTF2/BoxTextured-glTF/BoxTextured.gltf", {"--textures", dir + "/pictures"}, false, {}},
        {"OBJ/spider.obj", {}, false, {}},
        {"OBJ/testmixed.obj", {"--up", "z"}, true, {}},
        // The library drops this target track; key frames at 50 a second.
        {"3DS/TargetCameraAnim.3ds", {"--fps", "50"}, false,
         {{0, {14.429214f, 28.215897f, 0}}, {60, {14.429214f, 28.215897f, 0}}, {120, {100.41005f, 28.215897f, 0}}}},
        {"Collada/duck.dae", {}, false, {}},
        {"Collada/cameras.dae", {"--camera", "Camera_003"}, false, {}},
        {"Collada/lights.dae", {}, false, {}},
        {"FBX/huesitos.fbx", {}, false, {}},
    };
    for (const CorpusCase& c : cases) {
        SCOPED_TRACE(c.file);
        std::string out = dir + "/3ddata/" + std::to_string(&c - cases) + ".vlm", model = Corpus + c.file;
        std::vector<std::string> args = {"scene", "import", model, out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult r = Velmar(args);
        ASSERT_EQ(r.code, 0) << r.err;

        Assimp::Importer imp;
        const aiScene* ai = LibraryRead(imp, model);
        LibraryView lib;
        Walk(ai, ai->mRootNode, aiMatrix4x4(), c.zUp, lib);
        for (unsigned i = 0; i < ai->mNumLights; ++i)
            lib.allLights++, lib.lights += ai->mLights[i]->mType >= aiLightSource_DIRECTIONAL && ai->mLights[i]->mType <= aiLightSource_SPOT;
        int lights = std::clamp(lib.lights, 1, 8);  // one is added to a file without
        auto wanted = std::find(c.args.begin(), c.args.end(), "--camera");
        std::string camera = wanted != c.args.end() ? wanted[1] : ai->mNumCameras ? ai->mCameras[0]->mName.C_Str() : "";
        EXPECT_EQ(r.out.rfind("{\"out\":\"" + out + "\",\"objects\":" + std::to_string(lib.objects) + ",\"materials\":" +
                                  std::to_string(lib.materials.size()) + ",\"lights\":" + std::to_string(lights) +
                                  ",\"faces\":" + std::to_string(lib.faces) + ",\"vertices\":" + std::to_string(lib.vertices) +
                                  ",\"textures\":[", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("],\"camera\":" + (camera.empty() ? "null" : "\"" + camera + "\"") + ",\"animated\":"),
                  std::string::npos) << r.out;
        EXPECT_NE(r.out.find(",\"dropped\":{\"points\":" + std::to_string(lib.points) + ",\"lines\":" + std::to_string(lib.lines) +
                             ",\"materials\":" + std::to_string(ai->mNumMaterials - lib.materials.size()) + ",\"lights\":" +
                             std::to_string(lib.allLights - std::min(lib.lights, 8)) + ",\"cameras\":" +
                             std::to_string(ai->mNumCameras - !camera.empty())), std::string::npos) << r.out;

        // The written scene: the library's bounds; every picture named is there.
        Loaded back(out);
        Box box;
        std::set<std::string> pictures;
        for (int32_t i = 0; i < back.s.objectcount; ++i) {
            const SceneObject& o = back.s.objects[i];
            for (int32_t v = 0; v < o.vertexcount; ++v) box.add(o.vertices[v]);
            const Material& m = back.s.materials[o.material];
            if (m.textured) pictures.insert(str(m.texturename));
        }
        EXPECT_TRUE(box.near(lib.box)) << box.v[0] << " " << lib.box.v[0] << " " << box.v[5] << " " << lib.box.v[5];
        std::string folder = c.args.size() && c.args[0] == "--textures" ? c.args[1] : dir + "/Textures", listed;
        for (const std::string& p : pictures) {
            EXPECT_EQ(access((folder + "/" + p).c_str(), R_OK), 0) << p;
            listed += (listed.empty() ? "\"" : ",\"") + p + "\"";
        }
        std::string names = Between(r.out, "\"textures\":[", "]");
        EXPECT_EQ(names.size(), listed.size()) << names;  // the same names, in the order first used
        for (size_t k = 0; k < c.target.size(); ++k) {
            ASSERT_EQ(back.s.camtargetkeycount, (int32_t)c.target.size());
            EXPECT_EQ(back.s.camtargetkeys[k].frame, c.target[k].frame);
            EXPECT_TRUE(Near(back.s.camtargetkeys[k].point, c.target[k].point)) << k;
        }

        r = Velmar({"scene", "render", out, "--at", "0", "--size", "64x48", "--out", dir + "/picture.png", "--textures", folder});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(PictureDrawn(dir + "/picture.png"));
    }
}

// Whatever the library refuses, or reads only by dropping broken faces, is
// refused with the library's message on one line; nothing is written.
TEST_F(SceneImport, InvalidFilesAreRefusedWithTheLibrarysMessage) {
    std::vector<std::pair<std::string, std::string>> files;  // file, message
    DIR* d = opendir((Corpus + "invalid").c_str());
    ASSERT_TRUE(d);
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name, path = Corpus + "invalid/" + name;
        if (name[0] == '.' || name == "readme.txt") continue;
        Assimp::Importer imp;
        files.push_back({path, LibraryRead(imp, path) ? "Ignoring empty face" : imp.GetErrorString()});
    }
    closedir(d);
    EXPECT_GE(files.size(), 14u);
    mkfifo((dir + "/pipe.obj").c_str(), 0644);
    files.push_back({dir + "/pipe.obj", "cannot read " + dir + "/pipe.obj"});  // never waits for a writer
    files.push_back({dir + "/3ddata", "cannot read " + dir + "/3ddata"});
    for (auto& [file, message] : files) {
        RunResult r = Velmar({"scene", "import", file, dir + "/3ddata/out.vlm"});
        EXPECT_EQ(r.code, 2) << file;
        EXPECT_TRUE(r.out.empty() && std::count(r.err.begin(), r.err.end(), '\n') == 1) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_NE(access((dir + "/3ddata/out.vlm").c_str(), F_OK), 0) << file;
        EXPECT_NE(access((dir + "/Textures").c_str(), F_OK), 0) << file;
    }
    RunResult r = Velmar({"scene", "import", Corpus + "Collada/cameras.dae", dir + "/3ddata/out.vlm", "--camera", "Lens"});
    EXPECT_TRUE(r.code == 2 && r.err.find("no camera \"Lens\" (it has Camera, Camera_002, Camera_003)") != std::string::npos) << r.err;
}

// Every show scene to glTF (text and binary by turns) and back: the same
// objects (a name repeated comes back made unique), faces, materials, lights,
// camera and positions at every key frame.
TEST_F(SceneImport, ShowScenesComeBackFromGltf) {
    std::vector<std::string> scenes;
    DIR* d = opendir((ShowDir() + "/3ddata").c_str());
    ASSERT_TRUE(d);
    while (dirent* e = readdir(d))
        if (std::string(e->d_name).find(".vlm") != std::string::npos) scenes.push_back(e->d_name);
    closedir(d);
    std::sort(scenes.begin(), scenes.end());
    EXPECT_EQ(scenes.size(), 8u);
    for (const std::string& name : scenes) {
        SCOPED_TRACE(name);
        std::string in = ShowDir() + "/3ddata/" + name, gltf = dir + "/" + name + ((&name - &scenes[0]) % 2 ? ".glb" : ".gltf");
        RunResult r = Velmar({"scene", "export", in, gltf});
        ASSERT_TRUE(r.code == 0 && r.err.empty()) << r.err;
        r = Velmar({"scene", "import", gltf, dir + "/3ddata/" + name});
        ASSERT_TRUE(r.code == 0 && r.err.empty()) << r.err;
        Loaded a(in), b(dir + "/3ddata/" + name);
        ASSERT_EQ(a.s.objectcount, b.s.objectcount);
        EXPECT_EQ(a.s.materialcount, b.s.materialcount);
        for (int32_t i = 0; i < a.s.objectcount; ++i) {
            const SceneObject &x = a.s.objects[i], &y = b.s.objects[i];
            const Material &mx = a.s.materials[x.material], &my = b.s.materials[y.material];
            EXPECT_EQ(view(y.name).substr(0, x.name.len), view(x.name));
            EXPECT_EQ(x.facecount, y.facecount);
            EXPECT_TRUE(ObjectBox(x).near(ObjectBox(y))) << view(x.name);
            EXPECT_TRUE(mx.name == my.name && mx.textured == my.textured && (mx.blend != 0) == (my.blend != 0) &&
                        Near(mx.diffuse, my.diffuse) && mx.alphatest == my.alphatest)
                << view(mx.name);
            EXPECT_EQ(view(mx.texturename).substr(0, view(mx.texturename).rfind('.')),
                      view(my.texturename).substr(0, view(my.texturename).rfind('.')));
            for (int32_t k = 0; k < x.poskeycount; ++k) {
                float t = (float)x.poskeys[k].frame;
                EXPECT_TRUE(Near(evalLinearTrack(x.poskeys, x.poskeycount, t), evalLinearTrack(y.poskeys, y.poskeycount, t)));
            }
        }
        for (int l = 0; l < SceneLightCount; ++l) {
            const SceneLight &x = a.s.lights[l], &y = b.s.lights[l];
            EXPECT_EQ(x.enabled, y.enabled);
            for (int32_t k = 0; k < std::max(x.poskeycount, 1); ++k) {
                float t = x.poskeycount ? (float)x.poskeys[k].frame : 0;
                auto at = [t](const SceneLight& s) { return s.poskeycount ? evalLinearTrack(s.poskeys, s.poskeycount, t) : s.pos; };
                EXPECT_TRUE(!x.enabled || Near(at(x), at(y))) << l;
            }
        }
        EXPECT_NEAR(a.s.camerafov, b.s.camerafov, 1e-6);
        for (const TrackKey* keys : {a.s.camposkeys, a.s.camtargetkeys})
            for (int32_t k = 0, n = keys == a.s.camposkeys ? a.s.camposkeycount : a.s.camtargetkeycount; k < n; ++k) {
                float t = (float)keys[k].frame;
                EXPECT_TRUE(Near(evalCurveTrack(a.s.camposkeys, a.s.camposease, a.s.camposkeycount, t),
                                 evalCurveTrack(b.s.camposkeys, b.s.camposease, b.s.camposkeycount, t)));
                EXPECT_TRUE(Near(evalCurveTrack(a.s.camtargetkeys, a.s.camtargetease, a.s.camtargetkeycount, t),
                                 evalCurveTrack(b.s.camtargetkeys, b.s.camtargetease, b.s.camtargetkeycount, t)));
            }
    }
}

}  // namespace
