// Shadow volumes: faces turned to the light, silhouettes of closed and open
// meshes, the extruded quads and the stencil passes' calls.
#include "draw_helpers.h"

namespace {

double Dist(Vector a, Vector b) { return std::hypot((double)a.x - b.x, (double)a.y - b.y, (double)a.z - b.z); }

struct Shadows : DrawTrace {
    Vector corner(int32_t q, int k) const { return s.volumearray[4 * q + k]; }
    int contourEdges(const SceneObject& o) const {
        int n = 0;
        for (int32_t f = 0; f < o.facecount; ++f)
            for (int e = 0; e < 3; ++e) n += o.contour[f].edge[e];
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
    for (int32_t f = 0; f < o.facecount; ++f) {  // only the two triangles of the +X side face the light
        const Face& c = o.faces[f];
        EXPECT_EQ(o.lightvisible[f], o.vertices[c.a].x + o.vertices[c.b].x + o.vertices[c.c].x == 3) << f;
    }
    EXPECT_EQ(contourEdges(o), 4);  // the side's 4 borders, not their shared diagonal
    ASSERT_EQ(s.shadowquadcount, 4);
    for (int32_t q = 0; q < 4; ++q) {
        Vector a = corner(q, 0), a2 = corner(q, 1), b2 = corner(q, 2), b = corner(q, 3);
        EXPECT_TRUE(a.x == 1.0f && b.x == 1.0f && (a.y == b.y || a.z == b.z)) << q;
        // Far corners on the rays from the light, at 1 + k times the distance.
        EXPECT_NEAR(Dist(a2, light), 1001.0 * Dist(a, light), 1e-3 * Dist(a2, light));
        EXPECT_NEAR(Dist(b2, light), 1001.0 * Dist(b, light), 1e-3 * Dist(b2, light));
        EXPECT_NEAR(Dist(a2, light), Dist(a2, a) + Dist(a, light), 1e-2);
    }
}

TEST_F(Shadows, OpenMeshesCastFromTheirFrontOnlyAndShadowLengthSetsTheExtrusion) {
    int32_t floor = AddFloor(s, AddMaterial(s), -1, -1, 1, 1, 0);
    int32_t tri = AddMesh(s, 0, {{{2, 0, 0}, {2, 1, 0}, {2, 0, 1}}, {}, {}, {{0, 1, 2}}});  // its front faces +X
    FinishScene(s);
    s.objects[floor].castshadow = true;
    castShadowVolumes(s, {0, 0, 5}, 0);  // above: its front, 4 border edges
    EXPECT_EQ(std::pair(s.shadowquadcount, contourEdges(s.objects[floor])), std::pair(4, 4));
    castShadowVolumes(s, {0, 0, -5}, 0);  // below: its back
    EXPECT_EQ(std::pair(s.shadowquadcount, contourEdges(s.objects[floor])), std::pair(0, 0));
    s.objects[floor].castshadow = false, s.objects[tri].castshadow = true;
    castShadowVolumes(s, {4, 0, 0}, 0);
    ASSERT_EQ(s.shadowquadcount, 3);  // one lonely face: all three edges are borders
    EXPECT_EQ(shadowExtrusion, 1000.0f);
    // Edge 0 from (2, 0, 0), 2 from the light: its far corner 2002 away.
    EXPECT_EQ(std::vector<float>({corner(0, 0).x, corner(0, 0).y, corner(0, 1).x}), std::vector<float>({2, 0, -1998}));
    castShadowVolumes(s, {0, 0, 0}, 0);  // its back: nothing
    EXPECT_EQ(s.shadowquadcount, 0);
    s.shadowlength = 1;
    castShadowVolumes(s, {4, 0, 0}, 0);
    EXPECT_EQ(std::pair(shadowExtrusion, corner(0, 1).x), std::pair(1.0f, 0.0f));  // twice as far from the light
}

TEST_F(Shadows, EachVisibleCasterDrawsItsOwnVolumeMovedByItsTrack) {
    int32_t m = AddMaterial(s);
    for (int i = 0; i < 3; ++i) AddFloor(s, m, -1, -1, 1, 1, 0);
    FinishScene(s);
    s.objects[0].castshadow = s.objects[1].castshadow = s.objects[2].castshadow = true;
    s.objects[2].visible = false;
    s.objects[1].rotation = {0, 90, 0};  // not applied to shadows
    sbObjectTrack(s, 1, {{0, {0, 0, 0}}, {10, {20, 0, 0}}});
    castShadowVolumes(s, {5, 0, 5}, 5);
    EXPECT_EQ(Count(take(), "glDrawElements("), 4);  // two casters, each drawn twice
    ASSERT_EQ(s.shadowquadcount, 4);                // the last caster's quads only
    for (int32_t q = 0; q < 4; ++q)  // moved by 10 along X
        EXPECT_TRUE(corner(q, 0).x >= 9.0f && corner(q, 0).x <= 11.0f && corner(q, 0).z == 0.0f) << q;
}

TEST_F(Shadows, TheStencilPassAndTheDarkeningCallsInOrder) {
    int32_t floor = AddFloor(s, AddMaterial(s), -1, -1, 1, 1, 0);
    FinishScene(s);
    s.objects[floor].castshadow = true;
    castShadowVolumes(s, {0, 0, 5}, 0);
    EXPECT_TRUE(IsTrace(take(), "stencil pass"));
    darkenShadows(0.5f);  // a square over the viewport where the count is not 0
    EXPECT_TRUE(IsTrace(take(), "darkening"));
    for (float k : {3.0f, -1.0f, NAN}) darkenShadows(k);  // the strength is kept within 0..1
    EXPECT_EQ(Joined(RecglOnly(take(), "glColor4f(")), "glColor4f(0, 0, 0, 1); glColor4f(0, 0, 0, 0); "
                                                       "glColor4f(0, 0, 0, 0)");
}

// Guards reads and writes outside the buffers: broken adjacency, bad indices, full buffers, no arrays.
TEST_F(Shadows, BrokenAdjacencyAndFullBuffersStayInBounds) {
    int32_t cube = AddCube(s, AddMaterial(s), {0, 0, 0}, 1);
    FinishScene(s);
    SceneObject& o = s.objects[cube];
    o.castshadow = true;
    o.neighbours[0].edge[0] = 9999;  // outside the faces: taken as a border
    o.neighbours[1].edge[2] = -7;
    o.faces[2].b = 4000;  // outside the vertices: edge skipped
    for (int32_t f = 0; f < o.facecount; ++f) o.lightvisible[f] = 1;
    findSilhouette(o);
    EXPECT_GE(contourEdges(o), 2);
    s.shadowquadcount = 3 * 12 - 1;  // one quad of room left
    buildVolumeQuads(s, o, {5, 5, 5}, {0, 0, 0});
    EXPECT_EQ(s.shadowquadcount, 3 * 12);
    castShadowVolumes(s, {5, 0, 0}, 0);
    EXPECT_LE(s.shadowquadcount, 36);
    int32_t bare = AddTriangle(s, 0);  // without its worked-out arrays: casts nothing
    s.objects[bare].castshadow = true;
    castShadowVolumes(s, {5, 0, 0}, 0);
    EXPECT_GE(s.shadowquadcount, 0);
}

}  // namespace
