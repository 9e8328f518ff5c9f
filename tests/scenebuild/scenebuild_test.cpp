// Meshes made in code: every kind saves and loads back through the program's own saver and loader, has sound faces and
// normals, and the extruded text is a closed solid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "frame/rtfile.h"
#include "scene/scenefile.h"
#include "support/support.h"
#include "tools/scenebuild/scenebuild.h"

namespace {

double Dot(Vector a, Vector b) { return (double)a.x * b.x + (double)a.y * b.y + (double)a.z * b.z; }

std::string FontBytes() {
    std::string data;
    int code = 0;
    EXPECT_TRUE(TryReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", data, &code)) << "fonts-dejavu-core is missing";
    return data;
}

Vector Corner(const Mesh& m, int32_t i) { return m.vertices[(size_t)i]; }
Vector Normal(const Mesh& m, const Face& f) {  // twice the area, along the face normal
    return vecCross(vecSub(Corner(m, f.b), Corner(m, f.a)), vecSub(Corner(m, f.c), Corner(m, f.a)));
}

// Signed volume enclosed by the faces (positive when they face outwards).
double Volume(const Mesh& m) {
    double v = 0;
    for (const Face& f : m.faces) v += Dot(Corner(m, f.a), vecCross(Corner(m, f.b), Corner(m, f.c))) / 6.0;
    return v;
}

struct Kind {
    const char* name;
    Mesh mesh;
    bool closedVolume;  // normals point out of a solid around the centre
};

std::vector<Kind> AllKinds() {
    std::vector<std::pair<float, float>> vase = {{0, -1}, {0.8f, -1}, {1, 0}, {0.5f, 1}, {0, 1}};
    std::vector<Vector> path = {{-2, 0, 0}, {-1, 1, 0}, {0, 1, 1}, {1, 0, 1}, {2, 0, 0}};
    return {{"box", meshBox({2, 3, 4}), true},          {"plane", meshPlane(4, 2, 3), false},
            {"sphere", meshSphere(1.5f, 16, 8), true},   {"cylinder", meshCylinder(1, 2, 12), true},
            {"torus", meshTorus(2, 0.5f, 16, 8), false}, {"lathe", meshLathe(vase, 10), true},
            {"sweep", meshSweep(path, 0.3f, 6), false},  {"merge", meshMerge(meshBox({1, 1, 1}), meshSphere(0.5f, 8, 4), {3, 0, 0}), false},
            {"text", meshText(FontBytes(), "Ag", 2, 0.5f, 4), false}};
}

// Every kind has sound faces and unit normals, solids enclose their volume, and the mesh saves and loads back as
// made. Guards the lathe's degenerate faces: poles of turned shapes give a few zero-area faces, never faces turned
// away from their normals.
TEST(SceneBuild, EveryMeshKindIsSoundAndLoadsBackAsMade) {
    ThrowOnFailure guard;
    for (const Kind& k : AllKinds()) {
        SCOPED_TRACE(k.name);
        const Mesh& m = k.mesh;
        ASSERT_TRUE(!m.faces.empty() && m.normals.size() == m.vertices.size() && m.uvs.size() == m.vertices.size());
        for (const Vector& n : m.normals) ASSERT_NEAR(std::sqrt(Dot(n, n)), 1.0f, 1e-4f);
        int against = 0, degenerate = 0;
        for (const Face& f : m.faces) {
            ASSERT_TRUE(std::min({f.a, f.b, f.c}) >= 0 && std::max({f.a, f.b, f.c}) < (int32_t)m.vertices.size());
            Vector fn = Normal(m, f), sum = vecAdd(vecAdd(m.normals[(size_t)f.a], m.normals[(size_t)f.b]), m.normals[(size_t)f.c]);
            if (Dot(fn, fn) < 1e-12f) ++degenerate;
            else against += Dot(fn, sum) <= 0;
        }
        EXPECT_TRUE(against == 0 && degenerate * 4 <= (int)m.faces.size()) << against << " " << degenerate;
        EXPECT_TRUE(!k.closedVolume || Volume(m) > 0);
        Scene s, back{};
        sbBegin(s, "kinds");
        sbObjectTrack(s, sbObject(s, k.name, sbMaterial(s, "stone", "stone.tga"), m), {{0, {0, 0, 0}}, {100, {1, 2, 3}}});
        sbCamera(s, {{0, {10, 0, 3}}, {100, {0, 10, 3}}}, {{0, {0, 0, 0}}}), sbLight(s, 0, "sun", {5, 5, 10}), sbFinish(s);
        std::string bytes = SaveSceneData(s);
        LoadSceneData(back, S("kinds.vlm"), (const uint8_t*)bytes.data(), bytes.size());
        const SceneObject& o = back.objects[0];
        ASSERT_TRUE(o.vertexcount == (int32_t)m.vertices.size() && o.facecount == (int32_t)m.faces.size());
        EXPECT_TRUE(!memcmp(o.faces, m.faces.data(), m.faces.size() * 12) && !memcmp(o.vertices, m.vertices.data(), m.vertices.size() * 12));
        EXPECT_TRUE(o.hasnormals && o.hasuv && o.poskeycount == 2 && back.camposkeycount == 2 && back.lights[0].enabled);
        EXPECT_TRUE(SaveSceneData(back) == bytes) << "saving what was loaded gives another file";
        ReleaseScene(back), ReleaseScene(s);
    }
    EXPECT_NEAR(Volume(meshBox({2, 3, 4})), 24.0, 1e-4);
    EXPECT_NEAR(Volume(meshSphere(1, 64, 32)), 4.18879, 0.02);  // nearly 4/3 pi r^3
}

TEST(SceneBuild, ExtrudedTextIsAClosedSolidAndWhatIsNoFontGivesNone) {
    std::string why;
    Mesh m = meshText(FontBytes(), "OA8", 2, 0.5f, 6, &why);
    ASSERT_FALSE(m.faces.empty()) << why;
    // Each directed edge once and its reverse once: closed, consistently turned (a filled hole shares its edges thrice).
    std::map<std::pair<int32_t, int32_t>, int> directed;
    for (const Face& f : m.faces) ++directed[{f.a, f.b}], ++directed[{f.b, f.c}], ++directed[{f.c, f.a}];
    int bad = 0;
    for (auto& [e, n] : directed) bad += n != 1 || !directed.count({e.second, e.first});
    EXPECT_EQ(bad, 0) << "edges not shared by exactly two faces in opposite turns";
    // Front faces (all corners at +depth/2) turn to the front; caps that neither overlap nor leave gaps: the solid is
    // their area times the depth.
    auto front = [](const Mesh& mesh, const Face& f) { return std::min({Corner(mesh, f.a).z, Corner(mesh, f.b).z, Corner(mesh, f.c).z}) > 0.2f; };
    double frontArea = 0;
    for (const Face& f : m.faces) {
        if (!front(m, f)) continue;
        EXPECT_GT(Normal(m, f).z, -1e-6) << "a front face turned away";
        frontArea += Normal(m, f).z / 2;
    }
    EXPECT_TRUE(frontArea > 0.5 && std::fabs(Volume(m) - frontArea * 0.5) < frontArea * 0.5 * 1e-3) << frontArea << " " << Volume(m);
    // The same text gives the same mesh; what is no font or no outline gives none, with the reason.
    std::string font = FontBytes();
    Mesh a = meshText(font, "Velmar", 1, 0.2f), b = meshText(font, "Velmar", 1, 0.2f);
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    EXPECT_EQ(0, memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(Vector)));
    EXPECT_TRUE(meshText("not a font at all", "A", 1, 1, 4, &why).faces.empty() && !why.empty());
    EXPECT_TRUE(meshText(font.substr(0, 500), "A", 1, 1, 4, &why).faces.empty());
    EXPECT_TRUE(meshText(font, "   ", 1, 1, 4, &why).faces.empty());
    EXPECT_EQ(why, "the text has no outline");
    EXPECT_TRUE(meshText(font, nullptr, 1, 1).faces.empty());
}

}  // namespace
