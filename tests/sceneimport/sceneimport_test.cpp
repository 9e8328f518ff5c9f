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
#include <map>
#include <set>

#include "render/tracks.h"
#include "scene/scenefile.h"
#include "support/support.h"

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

// An object's corners by place (exact through a round trip): the normal
// and texture place (its material's tiling multiplied in) of each.
typedef std::map<std::vector<float>, std::vector<std::vector<float>>> CornerMap;
CornerMap Corners(const Scene& s, const SceneObject& o) {
    const Material& m = s.materials[o.material];
    CornerMap c;
    for (int32_t i = 0; i < o.vertexcount; ++i) {
        Vector p = o.vertices[i], n = o.hasnormals ? o.normals[i] : Vector{0, 0, 0};
        TexCoord t = o.hasuv ? o.uvs[i] : TexCoord{0, 0};
        c[{p.x, p.y, p.z}].push_back({n.x, n.y, n.z, t.u * m.utile, t.v * m.vtile});
    }
    return c;
}
// Every corner of `got` is one of `had` (identical corners are joined).
bool CornersKept(const CornerMap& had, const CornerMap& got) {
    for (auto& [place, corners] : got)
        for (const std::vector<float>& c : corners)
            if (!had.count(place) || std::none_of(had.at(place).begin(), had.at(place).end(), [&](const std::vector<float>& h) {
                    for (size_t i = 0; i < c.size(); ++i)
                        if (std::fabs(c[i] - h[i]) > 1e-4f) return false;
                    return true;
                }))
                return false;
    return true;
}

bool Near(Vector a, Vector b) { return vecLength(vecSub(a, b)) <= 1e-4f * (1 + vecLength(a)); }

// What the library reads: its meshes through the node tree, in the engine's
// axes (+Z up).
struct LibraryView {
    int objects = 0, lights = 0, allLights = 0;
    int64_t faces = 0, vertices = 0, points = 0, lines = 0;
    double colours = 0;  // red + 2 green + 3 blue over every vertex colour
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
            if (m->mColors[0]) v.colours += m->mColors[0][i].r + 2 * m->mColors[0][i].g + 3 * m->mColors[0][i].b;
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
    int w = 0, h = 0;
    std::vector<uint8_t> rgb = ReadPngRgb(png, &w, &h);
    return std::any_of(rgb.begin(), rgb.end(), [](uint8_t c) { return c > 8; });
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
    int32_t rest = -1;             // a frame at which the file's objects are at rest, where checked
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
        {"OBJ/cube_with_vertexcolors.obj", {}, false, {}},
        // The library drops this target track; key frames at 50 a second.
        {"3DS/TargetCameraAnim.3ds", {"--fps", "50"}, false,
         {{0, {14.429214f, 28.215897f, 0}}, {60, {14.429214f, 28.215897f, 0}}, {120, {100.41005f, 28.215897f, 0}}}},
        {"3DS/CameraRollAnimWithChildObject.3ds", {}, false, {}, 0},  // a box moving under a rolling camera
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
        double colours = 0;
        for (int32_t i = 0; i < back.s.objectcount; ++i) {
            const SceneObject& o = back.s.objects[i];
            for (int32_t v = 0; v < o.vertexcount; ++v) box.add(o.vertices[v]);
            for (int32_t v = 0; v < o.vertexcount && o.hascolors; ++v) colours += o.colors[v].x + 2 * o.colors[v].y + 3 * o.colors[v].z;
            const Material& m = back.s.materials[o.material];
            if (m.textured) pictures.insert(str(m.texturename));
        }
        EXPECT_NEAR(colours, lib.colours, 1e-4 * (1 + lib.colours));
        EXPECT_TRUE(box.near(lib.box)) << box.v[0] << " " << lib.box.v[0] << " " << box.v[5] << " " << lib.box.v[5];
        std::string folder = c.args.size() && c.args[0] == "--textures" ? c.args[1] : dir + "/Textures", listed;
        for (const std::string& p : pictures) {
            EXPECT_EQ(access((folder + "/" + p).c_str(), R_OK), 0) << p;
            listed += (listed.empty() ? "\"" : ",\"") + p + "\"";
        }
        std::string names = Between(r.out, "\"textures\":[", "]");
        EXPECT_EQ(names.size(), listed.size()) << names;  // the same names, in the order first used
        int moving = 0;  // at rest at that frame, away from it later
        for (int32_t i = 0; i < back.s.objectcount && c.rest >= 0; ++i) {
            const SceneObject& o = back.s.objects[i];
            if (!o.poskeycount) continue;
            ++moving;
            EXPECT_TRUE(Near(evalLinearTrack(o.poskeys, o.poskeycount, (float)c.rest), {0, 0, 0})) << view(o.name);
            EXPECT_FALSE(Near(evalLinearTrack(o.poskeys, o.poskeycount, (float)c.rest + 60), {0, 0, 0})) << view(o.name);
        }
        EXPECT_TRUE(c.rest < 0 || moving > 0);
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
            EXPECT_TRUE(CornersKept(Corners(a.s, x), Corners(b.s, y))) << view(x.name);
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
        // The camera node looks from the eye at the target (glTF: down its -Z, +Y up) at each of its keys.
        Assimp::Importer imp;
        const aiScene* ai = imp.ReadFile(gltf, 0);
        const aiNodeAnim* cam = nullptr;
        for (unsigned c = 0; ai && ai->mNumAnimations && c < ai->mAnimations[0]->mNumChannels; ++c)
            if (ai->mAnimations[0]->mChannels[c]->mNodeName == aiString("Camera")) cam = ai->mAnimations[0]->mChannels[c];
        ASSERT_TRUE(cam && cam->mNumRotationKeys >= (unsigned)a.s.camposkeycount);
        for (unsigned k = 0; k < cam->mNumRotationKeys; ++k) {
            float t = std::round((float)(cam->mRotationKeys[k].mTime / ai->mAnimations[0]->mTicksPerSecond * 25));
            Vector look = vecSub(evalCurveTrack(a.s.camtargetkeys, a.s.camtargetease, a.s.camtargetkeycount, t),
                                 evalCurveTrack(a.s.camposkeys, a.s.camposease, a.s.camposkeycount, t));
            aiVector3D d = cam->mRotationKeys[k].mValue.Rotate(aiVector3D(0, 0, -1)), want = aiVector3D(look.x, look.z, -look.y).Normalize();
            EXPECT_GT(d * want, 0.9999f) << t;
            EXPECT_GT(cam->mRotationKeys[k].mValue.Rotate(aiVector3D(0, 1, 0)).y, 0) << t;  // not upside down
        }
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
