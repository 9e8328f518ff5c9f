// Shadow volumes: faces turned to the light, silhouettes of closed and open
// meshes, the extruded quads and the stencil pass's calls.
#include <cmath>

#include "draw_fixture.h"

namespace {

using Lines = std::vector<std::string>;

double Dist(Vector a, Vector b) {
    double x = (double)a.x - b.x, y = (double)a.y - b.y, z = (double)a.z - b.z;
    return std::sqrt(x * x + y * y + z * z);
}

struct Shadows : DrawTrace {
    int32_t quads() const { return s.shadowquadcount; }
    Vector corner(int32_t q, int k) const { return s.volumearray[4 * q + k]; }
    int contourEdges(const SceneObject& o) const {
        int n = 0;
        for (int32_t f = 0; f < o.facecount; ++f) n += o.contour[f].edge[0] + o.contour[f].edge[1] + o.contour[f].edge[2];
        return n;
    }
};

TEST_F(Shadows, AClosedCubeLitFromOneSideGivesQuadsAlongItsSilhouetteOnly) {
    int32_t cube = AddCube(s, AddMaterial(s), {0, 0, 0}, 1);
    FinishScene(s);
    s.objects[cube].castshadow = true;
    Vector light = {10, 0.25f, -0.5f};
    castShadowVolumes(s, light, 0);
    const SceneObject& o = s.objects[cube];
    // Only the two triangles of the +X side face the light.
    int lit = 0;
    for (int32_t f = 0; f < o.facecount; ++f) {
        bool plusX = true;
        for (int k = 0; k < 3; ++k) plusX = plusX && o.vertices[DrawFaceVertex(o, f, k)].x == 1.0f;
        EXPECT_EQ(o.lightvisible[f], plusX ? 1 : 0) << f;
        lit += o.lightvisible[f];
    }
    EXPECT_EQ(lit, 2);
    // Their shared diagonal is not a silhouette; the side's 4 borders are.
    EXPECT_EQ(contourEdges(o), 4);
    ASSERT_EQ(quads(), 4);
    for (int32_t q = 0; q < 4; ++q) {
        Vector a = corner(q, 0), a2 = corner(q, 1), b2 = corner(q, 2), b = corner(q, 3);
        EXPECT_EQ(a.x, 1.0f);
        EXPECT_EQ(b.x, 1.0f);
        EXPECT_TRUE(a.y == b.y || a.z == b.z);  // a border, not the diagonal
        // Far corners on the rays from the light, at 1 + k times the distance.
        EXPECT_NEAR(Dist(a2, light), 1001.0 * Dist(a, light), 1e-3 * Dist(a2, light));
        EXPECT_NEAR(Dist(b2, light), 1001.0 * Dist(b, light), 1e-3 * Dist(b2, light));
        EXPECT_NEAR(Dist(a2, light), Dist(a2, a) + Dist(a, light), 1e-2);
        EXPECT_EQ(a2.x, 1.0f + (1.0f - 10.0f) * 1000.0f);
    }
}

TEST_F(Shadows, AnOpenMeshContributesItsBorderEdgesWhenItFacesTheLight) {
    int32_t floor = AddFloor(s, AddMaterial(s), -1, -1, 1, 1, 0);
    FinishScene(s);
    s.objects[floor].castshadow = true;
    castShadowVolumes(s, {0, 0, 5}, 0);  // above: the front side
    EXPECT_EQ(quads(), 4);
    EXPECT_EQ(contourEdges(s.objects[floor]), 4);
    castShadowVolumes(s, {0, 0, -5}, 0);  // below: its back
    EXPECT_EQ(quads(), 0);
    EXPECT_EQ(contourEdges(s.objects[floor]), 0);
}

TEST_F(Shadows, TheExtrusionDistanceFollowsShadowLength) {
    // Counter-clockwise seen from +X: its front faces +X.
    int32_t tri = AddMesh(s, AddMaterial(s), {{2, 0, 0}, {2, 1, 0}, {2, 0, 1}}, {{0, 1, 2}});
    FinishScene(s);
    s.objects[tri].castshadow = true;
    Vector light = {4, 0, 0};
    castShadowVolumes(s, light, 0);
    ASSERT_EQ(quads(), 3);  // one lonely face: all three edges are borders
    EXPECT_EQ(shadowExtrusion, 1000.0f);
    // Edge 0 starts at (2, 0, 0), 2 units from the light: 2002 units.
    EXPECT_EQ(corner(0, 0).x, 2.0f);
    EXPECT_EQ(corner(0, 0).y, 0.0f);
    EXPECT_NEAR(Dist(corner(0, 1), light), 2002.0, 1e-3);
    EXPECT_EQ(corner(0, 1).x, -1998.0f);
    castShadowVolumes(s, {0, 0, 0}, 0);  // its back: nothing
    EXPECT_EQ(quads(), 0);
    s.shadowlength = 1;
    castShadowVolumes(s, light, 0);
    EXPECT_EQ(shadowExtrusion, 1.0f);
    EXPECT_EQ(corner(0, 1).x, 0.0f);  // twice as far from the light
}

TEST_F(Shadows, OnlyVisibleCastersCastAndATrackMovesTheVolume) {
    int32_t m = AddMaterial(s);
    int32_t still = AddFloor(s, m, -1, -1, 1, 1, 0);
    int32_t moving = AddFloor(s, m, -1, -1, 1, 1, 0);
    int32_t hidden = AddFloor(s, m, -1, -1, 1, 1, 0);
    FinishScene(s);
    s.objects[moving].castshadow = true;
    s.objects[hidden].castshadow = true;
    s.objects[hidden].visible = false;
    s.objects[moving].rotation = {0, 90, 0};  // not applied to shadows
    SetObjectTrack(s, moving, {{0, {0, 0, 0}}, {10, {20, 0, 0}}});
    castShadowVolumes(s, {5, 0, 5}, 5);
    Lines got = take();
    (void)still;
    EXPECT_EQ(CountPrefix(got, "glDrawElements("), 2);  // one caster, drawn twice
    ASSERT_EQ(quads(), 4);
    for (int32_t q = 0; q < 4; ++q) {
        EXPECT_GE(corner(q, 0).x, 9.0f);  // moved by 10 along X
        EXPECT_LE(corner(q, 0).x, 11.0f);
        EXPECT_EQ(corner(q, 0).z, 0.0f);
    }
}

TEST_F(Shadows, TheStencilPassCallsInOrder) {
    int32_t floor = AddFloor(s, AddMaterial(s), -1, -1, 1, 1, 0);
    FinishScene(s);
    s.objects[floor].castshadow = true;
    castShadowVolumes(s, {0, 0, 5}, 0);
    std::string index = DataHash(s.volumeindex, 24 * sizeof(int32_t));
    Lines want = {"glEnable(GL_CULL_FACE)",
                  "glEnable(GL_DEPTH_TEST)",
                  "glEnable(GL_STENCIL_TEST)",
                  "glDepthMask(GL_FALSE)",
                  "glDepthFunc(GL_LEQUAL)",
                  "glDisable(GL_LIGHTING)",
                  "glDisable(GL_TEXTURE_2D)",
                  "glDisable(GL_BLEND)",
                  "glStencilFunc(GL_ALWAYS, 0, 4294967295)",
                  "glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE)",
                  "glEnableClientState(GL_VERTEX_ARRAY)",
                  "glVertexPointer(3, GL_FLOAT, 12, ptr)",
                  "glStencilOp(GL_KEEP, GL_KEEP, GL_INCR)",
                  "glCullFace(GL_BACK)",
                  "glDrawElements(GL_TRIANGLES, 24, GL_UNSIGNED_INT, " + index + ")",
                  "glStencilOp(GL_KEEP, GL_KEEP, GL_DECR)",
                  "glCullFace(GL_FRONT)",
                  "glDrawElements(GL_TRIANGLES, 24, GL_UNSIGNED_INT, " + index + ")",
                  "glDisableClientState(GL_VERTEX_ARRAY)",
                  "glCullFace(GL_BACK)",
                  "glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE)",
                  "glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP)",
                  "glDepthMask(GL_TRUE)",
                  "glEnable(GL_TEXTURE_2D)"};
    EXPECT_EQ(take(), want);
    // The darkening pass draws where the count is not 0, then tidies up.
    darkenShadows(0.5f);
    Lines got = take();
    int func = Find(got, "glStencilFunc(GL_NOTEQUAL, 0, 4294967295)");
    ASSERT_GE(func, 0);
    EXPECT_LT(Find(got, "glEnable(GL_STENCIL_TEST)"), func);
    EXPECT_LT(func, Find(got, "glBegin(GL_TRIANGLE_STRIP)"));
    EXPECT_EQ(Count(got, "glColor4f(0, 0, 0, 0.5)"), 1);
    EXPECT_GE(Find(got, "glDisable(GL_STENCIL_TEST)"), Find(got, "glEnd()"));
    EXPECT_EQ(Count(got, "glPushMatrix()"), Count(got, "glPopMatrix()"));
}

TEST_F(Shadows, BrokenAdjacencyAndFullBuffersStayInBounds) {
    int32_t cube = AddCube(s, AddMaterial(s), {0, 0, 0}, 1);
    FinishScene(s);
    SceneObject& o = s.objects[cube];
    o.castshadow = true;
    o.neighbours[0].edge[0] = 9999;  // outside the faces: taken as a border
    o.neighbours[1].edge[2] = -7;
    o.faces[2].b = 4000;             // outside the vertices: edge skipped
    for (int32_t f = 0; f < o.facecount; ++f) o.lightvisible[f] = 1;
    findSilhouette(o);
    EXPECT_GE(contourEdges(o), 2);
    s.shadowquadcount = 3 * 12 - 1;  // one quad of room left
    buildVolumeQuads(s, o, {5, 5, 5}, {0, 0, 0});
    EXPECT_EQ(s.shadowquadcount, 3 * 12);
    castShadowVolumes(s, {5, 0, 0}, 0);
    EXPECT_LE(s.shadowquadcount, 36);
    // Objects without their worked-out buffers cast nothing.
    int32_t bare = AddTriangle(s, 0);
    s.objects[bare].castshadow = true;
    castShadowVolumes(s, {5, 0, 0}, 0);
    EXPECT_GE(s.shadowquadcount, 0);
}

}  // namespace
