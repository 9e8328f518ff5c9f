// The scene unit beyond its file: the geometry worked out after loading (normals, centres and the neighbour search,
// checked against a direct transcription of the pairwise search on meshes with shared, split and non-manifold edges),
// and the scene's textures through the texture manager over the real texture-loader module and the recording GL.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <random>
#include <tuple>

#include "../recgl/recgl.h"
#include "../tl/fixtures.h"
#include "glbind/glbind.h"
#include "scene/precalc.h"
#include "scene_helpers.h"
#include "textures/texman.h"

namespace {

// An object owning `faces` (as both numberings unless `orig` is given).
struct TestObject {
    Scene s{};
    SceneObject& o = *(s.objects = TestBlock<SceneObject>(1));
    explicit TestObject(const std::vector<Face>& faces, const std::vector<Face>& orig = {}, const std::vector<Vector>& verts = {}) {
        o = SceneObject{}, s.objectcount = 1, o.facecount = (int32_t)faces.size(), o.vertexcount = (int32_t)verts.size();
        o.faces = TestBlock<Face>(faces.size()), o.origfaces = TestBlock<Face>(faces.size()), o.vertices = TestBlock<Vector>(verts.size());
        for (size_t i = 0; i < faces.size(); ++i) o.faces[i] = faces[i], o.origfaces[i] = (orig.empty() ? faces : orig)[i];
        for (size_t i = 0; i < verts.size(); ++i) o.vertices[i] = verts[i];
    }
    ~TestObject() { ReleaseScene(s); }
    std::vector<int32_t> lists() const { return {&o.neighbours->edge[0], &o.neighbours->edge[0] + 3 * o.facecount}; }
};

// The pairwise search written out as the format describes it.
std::vector<int32_t> DirectNeighbours(SceneObject& o) {
    std::vector<FaceNeighbours> lists((size_t)o.facecount, FaceNeighbours{{-1, -1, -1}});
    FaceNeighbours* saved = o.neighbours;
    o.neighbours = lists.data();
    for (int32_t i = 0; i <= o.facecount - 2; ++i)
        for (int32_t j = i + 1; j <= o.facecount - 1; ++j)
            for (int32_t k = 0; k <= 2; ++k)
                if (Neighbour(o, i, k) == -1)
                    for (int32_t l = 0; l <= 2; ++l) {
                        int32_t p = FaceVertex(o, i, k), q = FaceVertex(o, i, (k + 1) % 3);
                        int32_t r = FaceVertex(o, j, l), s = FaceVertex(o, j, (l + 1) % 3);
                        if (std::min(p, q) == std::min(r, s) && std::max(p, q) == std::max(r, s))
                            SetNeighbour(o, i, k, j), SetNeighbour(o, j, l, i);
                    }
    o.neighbours = saved;
    return {&lists.data()->edge[0], &lists.data()->edge[0] + 3 * lists.size()};
}

TEST(Neighbours, FirstLaterFaceOverEachEdgeInTheOriginalNumberingAsThePairwiseSearch) {
    struct Case {
        const char* what;
        std::vector<Face> faces, orig;
        std::vector<int32_t> want;
    } cases[] = {
        {"alone", {{0, 1, 2}}, {}, {-1, -1, -1}},
        {"none", {}, {}, {}},
        {"either corner order", {{0, 1, 2}, {1, 0, 3}, {1, 2, 4}}, {}, {1, 2, -1, 0, -1, -1, 0, -1, -1}},
        // Face 1 pairs with 0 and stops looking: face 2 stays alone over 0-1.
        {"three on one edge", {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}, {}, {1, -1, -1, 0, -1, -1, -1, -1, -1}},
        {"four on one edge", {{0, 1, 9}, {7, 8, 2}, {3, 0, 1}, {7, 8, 1}, {8, 7, 5}}, {}, {2, -1, -1, 3, -1, -1, -1, 0, -1, 1, -1, -1, -1, -1, -1}},
        // Face 1 carries 0-1 twice: both entries get face 0.
        {"degenerate", {{0, 1, 2}, {0, 1, 0}, {2, 1, 5}}, {}, {1, 2, -1, 0, 0, -1, 0, -1, -1}},
        {"never its own", {{1, 0, 1}, {0, 1, 8}}, {}, {1, 1, -1, 0, -1, -1}},
        {"split for uvs", {{0, 1, 2}, {3, 4, 5}}, {{0, 1, 2}, {2, 1, 6}}, {-1, 1, -1, 0, -1, -1}},
        {"shared only when drawn", {{0, 1, 2}, {2, 1, 3}}, {{0, 1, 2}, {7, 8, 9}}, std::vector<int32_t>(6, -1)},
    };
    for (const Case& c : cases) {
        TestObject t(c.faces, c.orig);
        FindNeighbours(t.o);
        ASSERT_NE(t.o.neighbours, nullptr) << c.what;
        EXPECT_EQ(t.lists(), c.want) << c.what;
        EXPECT_EQ(DirectNeighbours(t.o), c.want) << c.what;
    }
    // Corner and edge numbers wrap at 3; the corners come from `origfaces`.
    TestObject t({{4, 5, 6}, {7, 8, 9}}, {{1, 2, 3}, {10, 11, 12}});
    FindNeighbours(t.o);
    SetNeighbour(t.o, 1, 4, 0);
    EXPECT_EQ(std::vector<int32_t>({FaceVertex(t.o, 1, 0), FaceVertex(t.o, 1, 5), DrawFaceVertex(t.o, 0, 4), Neighbour(t.o, 1, 1),
                                    t.o.neighbours[1].edge[1]}),
              std::vector<int32_t>({10, 12, 5, 0, 0}));
    // Random meshes: small vertex ranges so that edges are shared by two, three or more faces, some faces degenerate.
    std::mt19937 rng(12345);
    for (int round = 0; round < 400; ++round) {
        int faces = 1 + (int)(rng() % 60), range = 3 + (int)(rng() % (round % 3 == 0 ? 6 : 40));
        std::vector<Face> f(faces), orig(faces);
        for (int i = 0; i < faces; ++i) {
            auto pick = [&] { return (int32_t)(rng() % (unsigned)range) - (round % 7 == 0 ? range / 2 : 0); };
            orig[i] = Face{pick(), pick(), pick()};
            f[i] = Face{3 * i, 3 * i + 1, 3 * i + 2};  // what the search must not look at
        }
        TestObject t(f, orig);
        FindNeighbours(t.o);
        ASSERT_EQ(t.lists(), DirectNeighbours(t.o)) << "round " << round;
    }
}

TEST(Geometry, NormalsCentresAndScratchPerFace) {
    std::vector<Vector> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {2, 0, 0}, {1e8f, 0, 0}, {-1e8f, 0, 0}};
    // Counter-clockwise seen from +Z; all corners equal; collinear corners; 1e8 + 1 - 1e8 in float: summed a, b, c the
    // centre is 0, not 1/3.
    TestObject t({{0, 1, 2}, {3, 3, 3}, {0, 4, 1}, {5, 1, 6}}, {}, v);
    PrepareObjectGeometry(t.o);
    const Vector* n = t.o.facenormals;
    const Vector* c = t.o.facecenters;
    EXPECT_EQ(std::vector<float>({n[0].x, n[0].y, n[0].z, n[1].x, n[1].z, n[2].z, c[0].x, c[0].y, c[1].z, c[3].x}),
              std::vector<float>({0, 0, -1, 0, 0, 0, 1.0f / 3, 1.0f / 3, 5, 0}));
    EXPECT_EQ(LabelBytes(" lightvisible calc ") + LabelBytes(" contour calc "), 4u + 12u);
}

// ------------------------------------------------------------ textures

TextureEntry* SlotOf(uint32_t ref) {
    auto e = std::find_if(std::begin(TextureManager), std::end(TextureManager), [&](auto& t) { return t.glRef == ref && !t.empty; });
    return e == std::end(TextureManager) ? nullptr : &*e;
}
int InUse() { return (int)std::count_if(std::begin(TextureManager), std::end(TextureManager), [](auto& e) { return !e.empty; }); }

// Materials and emitters get their textures and give them back. Guards a texture path cut to 255 characters: it
// named another file.
TEST(SceneTextures, MaterialsAndEmittersGetTheirTexturesAndGiveThemBack) {
    setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
    RecglBind(), TlBind(), tmReset(), tmSetLoaderOptions(0);
    ASSERT_TRUE(GL.handle);
    std::string dir = MakeTempDir("scenetex"), name(255 - dir.size() - 1, 'n');  // folder + "/" + name: exactly 255
    for (auto [file, bits] : {std::pair{std::string("steel.tga"), 32}, {"env.tga", 24}, {"spark.tga", 24}, {name, 24}})
        WriteFile(dir + "/" + file, fx::Tga(4, 2, bits, fx::Pattern(4, 2)));
    Scene s{};
    s.materialcount = s.objectcount = 3;
    Material* m = s.materials = TestBlock<Material>(3);
    SceneObject* o = s.objects = TestBlock<SceneObject>(3);
    m[0].textured = true, m[0].texturename = S("$framebuffer$.jpg"), m[0].depth = 24, m[0].magtype = 1;  // the frame copy
    m[1].textured = true, m[1].texturename = S("steel.tga"), m[1].depth = 24, m[1].magtype = 1;
    m[1].envmap = true, m[1].envmaptexture = S("env.tga");
    m[2].texturename = S("not-there.tga"), m[2].depth = 24;  // not textured: never loaded
    o[0].particleenabled = true, o[0].particletexture = S("spark.tga");
    o[1].particleenabled = true;                // no texture name: nothing to load
    o[2].particletexture = S("not-there.tga");  // not an emitter
    ThrowOnFailure hook;
    SetupSceneTextures(s, S(dir));
    EXPECT_TRUE(m[0].glname == 0 && m[0].depth == 24 && m[1].depth == 32 && m[2].glname == 0);
    EXPECT_TRUE(o[1].particleglname == 0 && o[2].particleglname == 0);
    // Name and filter of each slot: the material's filter, mipmaps for the rest.
    for (auto [ref, file, type] :
         {std::tuple{m[1].glname, "steel.tga", 1}, {m[1].envmapglname, "env.tga", 3}, {o[0].particleglname, "spark.tga", 3}}) {
        TextureEntry* e = SlotOf(ref);
        ASSERT_NE(e, nullptr) << file;
        EXPECT_TRUE(str(e->name) == dir + "/" + file && e->type == type) << file;
    }
    SetupSceneTextures(s, S(dir));  // a second scene sharing the files
    EXPECT_TRUE(InUse() == 3 && SlotOf(m[1].glname)->reqs == 2);
    ReleaseSceneTextures(s);
    EXPECT_EQ(InUse(), 3);
    ReleaseSceneTextures(s);
    EXPECT_EQ(InUse(), 0);
    m[1].texturename = S(name);
    SetupSceneTextures(s, S(dir));
    EXPECT_EQ(InUse(), 3);
    ReleaseSceneTextures(s);
    for (auto [file, kind, code] : {std::tuple{std::string("gone.tga"), FailFatalStop, 0}, {name + "x", FailRunError, 3}}) {
        m[1].texturename = S(file);
        try {
            SetupSceneTextures(s, S(dir));
            ADD_FAILURE() << "no stop";
        } catch (const Failure& f) {
            EXPECT_TRUE(f.kind == kind && f.code == code) << f.message;
            if (code) EXPECT_EQ(f.message, "path longer than 255 characters: " + dir + "/" + name + "x");
            else EXPECT_NE(f.message.find(dir + "/gone.tga"), std::string::npos) << f.message;
        }
    }
    ReleaseScene(s), TlUnbind(), RemoveTree(dir);
}

}  // namespace
