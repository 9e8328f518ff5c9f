// Meshes made in code: every kind saves and loads back through the program's
// own saver and loader, has sound faces and normals, and the extruded text
// is a closed solid.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <stdlib.h>

#include "frame/rtfile.h"
#include "scene/scenefile.h"
#include "support/support.h"
#include "tools/scenebuild/scenebuild.h"

namespace {

double vecDot(Vector a, Vector b) { return (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z; }

// The zlib wrappers bind the Base module on first use: point it at the built one.
struct BuiltBase {
    BuiltBase() { setenv("VELMAR_MODULE_BASE", (ModuleDir() + "/Base.so").c_str(), 1); }
} g_builtBase;

const char* const BoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

std::string FontBytes() {
    std::string data;
    int code = 0;
    EXPECT_TRUE(TryReadFile(BoldFont, data, &code)) << "fonts-dejavu-core is missing";
    return data;
}

Vector FaceNormal(const Mesh& m, const Face& f) {
    return vecCross(vecSub(m.vertices[(size_t)f.b], m.vertices[(size_t)f.a]),
                    vecSub(m.vertices[(size_t)f.c], m.vertices[(size_t)f.a]));
}

// Signed volume enclosed by the faces (positive when they face outwards).
double Volume(const Mesh& m) {
    double v = 0;
    for (const Face& f : m.faces) {
        Vector a = m.vertices[(size_t)f.a], b = m.vertices[(size_t)f.b], c = m.vertices[(size_t)f.c];
        v += vecDot(a, vecCross(b, c)) / 6.0;
    }
    return v;
}

// Each directed edge once and its reverse once: a closed, consistently turned surface.
void ExpectClosed(const Mesh& m) {
    std::map<std::pair<int32_t, int32_t>, int> directed;
    for (const Face& f : m.faces) {
        int32_t c[3] = {f.a, f.b, f.c};
        for (int k = 0; k < 3; ++k) ++directed[{c[k], c[(k + 1) % 3]}];
    }
    int bad = 0;
    for (auto& [e, n] : directed)
        if (n != 1 || directed.count({e.second, e.first}) == 0 || directed[{e.second, e.first}] != 1) ++bad;
    EXPECT_EQ(bad, 0) << "edges not shared by exactly two faces in opposite turns";
}

struct Kind {
    const char* name;
    Mesh mesh;
    bool closedVolume;  // normals point out of a solid around the centre
};

std::vector<Kind> AllKinds() {
    std::vector<std::pair<float, float>> vase = {{0, -1}, {0.8f, -1}, {1, 0}, {0.5f, 1}, {0, 1}};
    std::vector<Vector> path = {{-2, 0, 0}, {-1, 1, 0}, {0, 1, 1}, {1, 0, 1}, {2, 0, 0}};
    std::string why;
    Mesh text = meshText(FontBytes(), "Ag", 2, 0.5f, 4, &why);
    return {
        {"box", meshBox({2, 3, 4}), true},
        {"plane", meshPlane(4, 2, 3), false},
        {"sphere", meshSphere(1.5f, 16, 8), true},
        {"cylinder", meshCylinder(1, 2, 12), true},
        {"torus", meshTorus(2, 0.5f, 16, 8), false},
        {"lathe", meshLathe(vase, 10), true},
        {"sweep", meshSweep(path, 0.3f, 6), false},
        {"merge", meshMerge(meshBox({1, 1, 1}), meshSphere(0.5f, 8, 4), {3, 0, 0}), false},
        {"text", text, false},
    };
}

TEST(SceneBuild, EveryMeshKindSavesAndLoadsBackAsMade) {
    ThrowOnFailure guard;
    for (const Kind& k : AllKinds()) {
        SCOPED_TRACE(k.name);
        ASSERT_FALSE(k.mesh.faces.empty());
        Scene s;
        sbBegin(s, "kinds");
        int32_t mat = sbMaterial(s, "stone", "stone.tga");
        int32_t obj = sbObject(s, k.name, mat, k.mesh);
        sbObjectTrack(s, obj, {{0, {0, 0, 0}}, {100, {1, 2, 3}}});
        sbCamera(s, {{0, {10, 0, 3}}, {100, {0, 10, 3}}}, {{0, {0, 0, 0}}});
        sbLight(s, 0, "sun", {5, 5, 10});
        sbFinish(s);
        std::string bytes = SaveSceneData(s);
        Scene back{};
        LoadSceneData(back, S("kinds.vlm"), (const uint8_t*)bytes.data(), bytes.size());
        ASSERT_EQ(back.objectcount, 1);
        const SceneObject& o = back.objects[0];
        EXPECT_EQ(o.vertexcount, (int32_t)k.mesh.vertices.size());
        ASSERT_EQ(o.facecount, (int32_t)k.mesh.faces.size());
        EXPECT_TRUE(o.hasnormals);
        EXPECT_TRUE(o.hasuv);
        for (int32_t i = 0; i < o.facecount; ++i) {
            EXPECT_EQ(o.faces[i].a, k.mesh.faces[(size_t)i].a);
            EXPECT_EQ(o.faces[i].c, k.mesh.faces[(size_t)i].c);
        }
        for (int32_t i = 0; i < o.vertexcount; ++i)
            ASSERT_EQ(vecSub(o.vertices[i], k.mesh.vertices[(size_t)i]).x, 0.0f);
        EXPECT_EQ(back.camposkeycount, 2);
        EXPECT_EQ(o.poskeycount, 2);
        EXPECT_TRUE(back.lights[0].enabled);
        // Saving what was loaded gives the same file.
        EXPECT_TRUE(SaveSceneData(back) == bytes);
        ReleaseScene(back);
        ReleaseScene(s);
    }
}

TEST(SceneBuild, FacesAndNormalsAgree) {
    for (const Kind& k : AllKinds()) {
        SCOPED_TRACE(k.name);
        const Mesh& m = k.mesh;
        ASSERT_EQ(m.normals.size(), m.vertices.size());
        ASSERT_EQ(m.uvs.size(), m.vertices.size());
        for (const Vector& n : m.normals) ASSERT_NEAR(std::sqrt(vecDot(n, n)), 1.0f, 1e-4f);
        int against = 0, degenerate = 0;
        for (const Face& f : m.faces) {
            ASSERT_TRUE(f.a >= 0 && f.b >= 0 && f.c >= 0);
            ASSERT_LT((size_t)std::max({f.a, f.b, f.c}), m.vertices.size());
            Vector fn = FaceNormal(m, f);
            if (vecDot(fn, fn) < 1e-12f) {
                ++degenerate;
                continue;
            }
            Vector vn = vecAdd(vecAdd(m.normals[(size_t)f.a], m.normals[(size_t)f.b]), m.normals[(size_t)f.c]);
            against += vecDot(fn, vn) <= 0;
        }
        // Poles of turned shapes give a few zero-area faces; none face away from their normals.
        EXPECT_EQ(against, 0);
        EXPECT_LE(degenerate * 4, (int)m.faces.size());
        if (k.closedVolume) EXPECT_GT(Volume(m), 0.0);
    }
}

TEST(SceneBuild, BoxAndSphereEncloseTheirVolume) {
    EXPECT_NEAR(Volume(meshBox({2, 3, 4})), 24.0, 1e-4);
    // A 64 x 32 sphere holds nearly 4/3 pi r^3.
    EXPECT_NEAR(Volume(meshSphere(1, 64, 32)), 4.18879, 0.02);
}

TEST(SceneBuild, ExtrudedTextIsAClosedSolidWithItsHoles) {
    std::string why;
    Mesh m = meshText(FontBytes(), "OA8", 2, 0.5f, 6, &why);
    ASSERT_FALSE(m.faces.empty()) << why;
    ExpectClosed(m);
    // Front faces (all corners at +depth/2) fill the letters and leave their holes.
    double frontArea = 0;
    float minX = 1e9f, maxX = -1e9f;
    for (const Vector& v : m.vertices) minX = std::min(minX, v.x), maxX = std::max(maxX, v.x);
    auto covered = [&](float x, float y) {
        int hits = 0;
        for (const Face& f : m.faces) {
            Vector a = m.vertices[(size_t)f.a], b = m.vertices[(size_t)f.b], c = m.vertices[(size_t)f.c];
            if (a.z < 0.2f || b.z < 0.2f || c.z < 0.2f) continue;
            float d1 = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
            float d2 = (c.x - b.x) * (y - b.y) - (c.y - b.y) * (x - b.x);
            float d3 = (a.x - c.x) * (y - c.y) - (a.y - c.y) * (x - c.x);
            hits += d1 > 0 && d2 > 0 && d3 > 0;
        }
        return hits;
    };
    for (const Face& f : m.faces) {
        Vector a = m.vertices[(size_t)f.a], b = m.vertices[(size_t)f.b], c = m.vertices[(size_t)f.c];
        if (a.z > 0.2f && b.z > 0.2f && c.z > 0.2f) {
            double cr = vecCross(vecSub(b, a), vecSub(c, a)).z;
            EXPECT_GT(cr, -1e-6) << "a front face turned away";
            frontArea += cr / 2;
        }
    }
    // Caps that neither overlap nor leave gaps: the solid is their area times the depth.
    EXPECT_GT(frontArea, 0.5);
    EXPECT_NEAR(Volume(m), frontArea * 0.5, frontArea * 0.5 * 1e-3);
    // The "O" is the leftmost letter: its centre is a hole, its left stroke is solid.
    Mesh o = meshText(FontBytes(), "O", 2, 0.5f, 6);
    float oMin = 1e9f, oMax = -1e9f;
    for (const Vector& v : o.vertices) oMin = std::min(oMin, v.x), oMax = std::max(oMax, v.x);
    m = o;
    EXPECT_EQ(covered(0, 0), 0) << "the hole of the O is filled";
    EXPECT_EQ(covered(oMin + 0.05f, 0.0f), 1) << "the stroke of the O is not covered exactly once";
    // The engine finds a neighbour over every edge.
    Scene s;
    sbBegin(s, "text");
    sbObject(s, "word", sbMaterial(s, "m"), o);
    sbFinish(s);
    int open = 0;
    for (int32_t f = 0; f < s.objects[0].facecount; ++f)
        for (int e = 0; e < 3; ++e) open += s.objects[0].neighbours[f].edge[e] < 0;
    EXPECT_EQ(open, 0);
    ReleaseScene(s);
}

TEST(SceneBuild, TextIsDeterministicAndRefusesWhatIsNoFont) {
    std::string font = FontBytes();
    Mesh a = meshText(font, "Velmar", 1, 0.2f), b = meshText(font, "Velmar", 1, 0.2f);
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    EXPECT_EQ(0, memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(Vector)));
    std::string why;
    EXPECT_TRUE(meshText("not a font at all", "A", 1, 1, 4, &why).faces.empty());
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(meshText(font.substr(0, 500), "A", 1, 1, 4, &why).faces.empty());
    EXPECT_TRUE(meshText(font, "   ", 1, 1, 4, &why).faces.empty());
    EXPECT_EQ(why, "the text has no outline");
    EXPECT_TRUE(meshText(font, nullptr, 1, 1).faces.empty());
}

}  // namespace
