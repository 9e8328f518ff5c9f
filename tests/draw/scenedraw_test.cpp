// The scene draw as call sequences: pass order, the material state tables
// with their "leave as before" values, distance culling, lights, the object
// draw step by step, the environment pass, strips, wire overlays.
#include <chrono>

#include "draw_fixture.h"

namespace {

using Lines = std::vector<std::string>;

// The lines of each object in the pass loop: from its alpha-test line to the
// next object's (the last one ends at drawScene's own closing lines).
std::vector<Lines> ObjectSegments(const Lines& lines) {
    std::vector<Lines> out;
    int start = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        bool alpha = lines[i] == "glDisable(GL_ALPHA_TEST)" || lines[i] == "glEnable(GL_ALPHA_TEST)";
        if (!alpha) continue;
        if (start >= 0) out.push_back(Slice(lines, start, i));
        start = (int)i;
    }
    if (start >= 0) out.push_back(Slice(lines, start));
    return out;
}

TEST_F(DrawTrace, PassesInOrderObjectsInIndexOrderWithinAPass) {
    const int32_t passes[] = {1, 0, 2, 0, 1, 3, -1, 0};
    for (int i = 0; i < 8; ++i) objectWithOwnMaterial(100 + i);
    FinishScene(s);
    for (int i = 0; i < 8; ++i) s.objects[i].passno = passes[i];
    s.maxpassno = 2;  // pass 3 lies outside, -1 too
    s.objects[7].visible = false;
    drawScene(s, 0);
    EXPECT_EQ(DrawnShines(take()), (std::vector<int>{101, 103, 100, 104, 102}));
}

TEST_F(DrawTrace, FarApartPassNumbersDoNotMakeTheDrawCountThroughEveryPass) {
    objectWithOwnMaterial(1);
    objectWithOwnMaterial(2);
    objectWithOwnMaterial(3);
    FinishScene(s);
    s.objects[0].passno = 2147483647;
    s.objects[1].passno = 5;
    s.objects[2].passno = 0;
    s.maxpassno = 2147483647;
    auto start = std::chrono::steady_clock::now();
    drawScene(s, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(DrawnShines(take()), (std::vector<int>{3, 2, 1}));
}

TEST_F(DrawTrace, BlendTableAndValuesThatKeepThePreviousBlending) {
    const uint8_t blends[] = {7, 1, 7, 2, 0, 3, 4, 200};
    for (int i = 0; i < 8; ++i) {
        int32_t o = objectWithOwnMaterial(i);
        s.materials[s.objects[o].material].blend = blends[i];
    }
    FinishScene(s);
    drawScene(s, 0);
    Lines got = take();
    std::vector<DrawState> d = ReplayDraws(got);
    ASSERT_EQ(d.size(), 8u);
    EXPECT_FALSE(d[0].blend);  // 7 first: the draw's own glDisable(GL_BLEND)
    EXPECT_TRUE(d[1].blend);
    EXPECT_EQ(d[1].blendFunc, "GL_ONE, GL_ONE");
    EXPECT_TRUE(d[2].blend);  // 7 inherits one/one
    EXPECT_EQ(d[2].blendFunc, "GL_ONE, GL_ONE");
    EXPECT_EQ(d[3].blendFunc, "GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA");
    EXPECT_FALSE(d[4].blend);
    EXPECT_TRUE(d[5].blend);
    EXPECT_EQ(d[5].blendFunc, "GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA");
    EXPECT_EQ(d[6].blendFunc, "GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR");
    EXPECT_TRUE(d[7].blend);
    EXPECT_EQ(d[7].blendFunc, "GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR");
    // "Leave as before" means no blending call at all for those objects.
    std::vector<Lines> seg = ObjectSegments(got);
    ASSERT_GE(seg.size(), 8u);
    for (int i : {0, 2, 7}) {
        EXPECT_EQ(CountPrefix(seg[i], "glBlendFunc("), 0) << i;
        EXPECT_EQ(Count(seg[i], "glEnable(GL_BLEND)") + Count(seg[i], "glDisable(GL_BLEND)"), 0) << i;
    }
    EXPECT_EQ(Slice(seg[1], 1, 3), (Lines{"glEnable(GL_BLEND)", "glBlendFunc(GL_ONE, GL_ONE)"}));
    EXPECT_EQ(seg[4][1], "glDisable(GL_BLEND)");
}

TEST_F(DrawTrace, DepthTestTableAndDepthFunctionTable) {
    const uint8_t tests[] = {0, 1, 2, 3, 9, 0};
    const uint8_t funcs[] = {0, 1, 2, 3, 4, 7};
    for (int i = 0; i < 6; ++i) {
        int32_t o = objectWithOwnMaterial(i);
        Material& m = s.materials[s.objects[o].material];
        m.depthtest = tests[i], m.depthfunc = funcs[i];
    }
    FinishScene(s);
    drawScene(s, 0);
    Lines got = take();
    std::vector<DrawState> d = ReplayDraws(got);
    ASSERT_EQ(d.size(), 6u);
    const bool masks[] = {true, false, true, false, false, true};
    const bool on[] = {true, true, false, false, false, true};
    const char* cmp[] = {"GL_LESS", "GL_LEQUAL", "GL_EQUAL", "GL_GREATER", "GL_GEQUAL", "GL_LESS"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(d[i].depthMask, masks[i]) << i;
        EXPECT_EQ(d[i].depthTest, on[i]) << i;
        EXPECT_EQ(d[i].depthFunc, cmp[i]) << i;
    }
    std::vector<Lines> seg = ObjectSegments(got);
    // Each object: GL_LESS first, then its own comparison (none past 4).
    EXPECT_EQ(Slice(seg[1], 2, 6), (Lines{"glDepthMask(GL_FALSE)", "glEnable(GL_DEPTH_TEST)", "glDepthFunc(GL_LESS)",
                                          "glDepthFunc(GL_LEQUAL)"}));
    EXPECT_EQ(Slice(seg[4], 2, 3), (Lines{"glDepthFunc(GL_LESS)"}));  // depthtest 9: no depth calls
    EXPECT_EQ(CountPrefix(seg[5], "glDepthFunc("), 1);  // 7: GL_LESS stays
    EXPECT_EQ(CountPrefix(seg[4], "glDepthMask("), 0);
}

TEST_F(DrawTrace, AlphaTestAndTheStateTheDrawEndsWith) {
    int32_t a = objectWithOwnMaterial(1), b = objectWithOwnMaterial(2);
    s.materials[s.objects[a].material].alphatest = 0.5f;
    FinishScene(s);
    drawScene(s, 0);
    Lines got = take();
    std::vector<DrawState> d = ReplayDraws(got);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_TRUE(d[0].alphaTest);
    EXPECT_EQ(d[0].alphaFunc, "GL_GREATER, 0.5");
    EXPECT_FALSE(d[1].alphaTest);
    (void)b;
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(Slice(got, got.size() - 5), (Lines{"glMatrixMode(GL_MODELVIEW)", "glPopMatrix()", "glDisable(GL_FOG)",
                                                "glDisable(GL_ALPHA_TEST)", "glDepthMask(GL_TRUE)"}));
}

TEST_F(DrawTrace, DistanceCullingDrawsAtExactlyTheViewDistanceAndNotBeyond) {
    SetCameraTracks(s, {{0, {0, 0, 0}}}, {{0, {0, 1, 0}}});
    s.viewdistance = 50;
    int32_t at = objectWithOwnMaterial(1, {30, 40, 0});     // 50.0 from the eye
    int32_t beyond = objectWithOwnMaterial(2, {50.01f, 0, 0});
    int32_t never = objectWithOwnMaterial(3, {1, 0, 0});
    int32_t always = objectWithOwnMaterial(4, {1e4f, 0, 0});
    s.objects[at].cullmode = 1, s.objects[beyond].cullmode = 1;
    s.objects[never].cullmode = 2;
    s.objects[always].cullmode = 0;
    s.objects[beyond].fog = true;
    s.objects[beyond].fogparams = {0.25f, 1, 2};
    FinishScene(s);
    drawScene(s, 0);
    Lines got = take();
    EXPECT_EQ(DrawnShines(got), (std::vector<int>{1, 4}));
    // Not drawn, yet placed and fogged, and both undone.
    Lines seg = ObjectSegments(got)[1];
    Lines want = {"glEnable(GL_FOG)",
                  "glFogi(GL_FOG_MODE, GL_LINEAR)",
                  "glFogf(GL_FOG_DENSITY, 0.25)",
                  "glFogf(GL_FOG_START, 1)",
                  "glFogf(GL_FOG_END, 2)",
                  "glFogfv(GL_FOG_COLOR, [0, 0, 0, 0])",
                  "glMatrixMode(GL_MODELVIEW)",
                  "glPushMatrix()",
                  "glTranslatef(50.01, 0, 0)",
                  "glRotatef(0, 1, 0, 0)",
                  "glRotatef(0, 0, 1, 0)",
                  "glRotatef(0, 0, 0, 1)",
                  "glTranslatef(-50.01, -0, -0)",
                  "glMatrixMode(GL_MODELVIEW)",
                  "glPopMatrix()",
                  "glDisable(GL_FOG)"};
    EXPECT_EQ(Slice(seg, seg.size() - want.size()), want);
    EXPECT_EQ(CountPrefix(seg, "glMateriali("), 0);
}

TEST_F(DrawTrace, LightsWithAndWithoutTracksAndSwitchedOff) {
    AddTriangle(s, AddMaterial(s));
    FinishScene(s);
    SceneLight& l0 = s.lights[0];
    l0.enabled = true;
    l0.ambient = {0.1f, 0.2f, 0.3f}, l0.diffuse = {1, 0.5f, 0}, l0.specular = {0, 0, 1};
    l0.pos = {9, 9, 9};  // not used: the track places it
    SetLightTrack(s, 0, {{0, {0, 0, 0}}, {10, {10, -4, 2}}});
    SceneLight& l1 = s.lights[1];
    l1.enabled = true;
    l1.pos = {1, 2, 3};
    drawScene(s, 5);
    Lines got = take();
    int start = Find(got, "gluLookAt(0, -10, 0, 0, 0, 0, 0, 0, 1)");
    ASSERT_GE(start, 0);
    Lines lights = Slice(got, start + 1, start + 1 + 20);
    EXPECT_EQ(lights, (Lines{"glEnable(GL_LIGHT0)", "glLightfv(GL_LIGHT0, GL_AMBIENT, [0.1, 0.2, 0.3, 1])",
                             "glLightfv(GL_LIGHT0, GL_DIFFUSE, [1, 0.5, 0, 1])",
                             "glLightfv(GL_LIGHT0, GL_SPECULAR, [0, 0, 1, 1])",
                             "glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 180)",
                             "glLightfv(GL_LIGHT0, GL_POSITION, [5, -2, 1, 1])", "glEnable(GL_LIGHT1)",
                             "glLightfv(GL_LIGHT1, GL_AMBIENT, [0, 0, 0, 1])",
                             "glLightfv(GL_LIGHT1, GL_DIFFUSE, [0, 0, 0, 1])",
                             "glLightfv(GL_LIGHT1, GL_SPECULAR, [0, 0, 0, 1])",
                             "glLightf(GL_LIGHT1, GL_SPOT_CUTOFF, 180)",
                             "glLightfv(GL_LIGHT1, GL_POSITION, [1, 2, 3, 1])", "glDisable(GL_LIGHT2)",
                             "glDisable(GL_LIGHT3)", "glDisable(GL_LIGHT4)", "glDisable(GL_LIGHT5)",
                             "glDisable(GL_LIGHT6)", "glDisable(GL_LIGHT7)", "glDisable(GL_BLEND)",
                             "glDepthMask(GL_TRUE)"}));
    // Next frame the first light is off: it is switched off, not skipped.
    l0.enabled = false;
    drawScene(s, 5);
    got = take();
    start = Find(got, "gluLookAt(0, -10, 0, 0, 0, 0, 0, 0, 1)");
    EXPECT_EQ(got[start + 1], "glDisable(GL_LIGHT0)");
    EXPECT_EQ(got[start + 2], "glEnable(GL_LIGHT1)");
}

// One object with everything: fog, a track, a turned pivot, culling,
// lighting, a texture with anisotropy and clamping, all four arrays, a
// scrolling texture and an environment pass.
TEST_F(DrawTrace, TheObjectDrawStepByStep) {
    int32_t mi = AddMaterial(s);
    int32_t oi = AddTriangle(s, mi, {1, 2, 3});
    FinishScene(s);
    Material& m = s.materials[mi];
    m.textured = true, m.glname = 7, m.texturewrap = 1;
    m.ambient = {0.25f, 0.5f, 0.75f}, m.diffuse = {0.5f, 0.5f, 0.5f}, m.specular = {1, 0, 0};
    m.shine = 12, m.receivelight = true, m.constantalpha = 0.5f;
    m.utile = 2, m.vtile = 3;
    m.envmap = true, m.envmapglname = 9, m.envmapblend = true, m.envmapcolor = {1, 0.5f, 0.25f}, m.envmapalpha = 0.75f;
    SceneObject& o = s.objects[oi];
    o.fog = true, o.fogmode = 2, o.fogparams = {0.5f, 10, 20};
    o.fogcolor[0] = 0.25f, o.fogcolor[1] = 0.5f, o.fogcolor[2] = 0.75f, o.fogcolor[3] = 1;
    SetObjectTrack(s, oi, {{0, {0, 0, 0}}, {4, {4, 0, -8}}});
    o.rotation = {10, 20, 30};
    o.backfacecull = true;
    o.texturescroll = {0.5f, 0.25f, 0};
    o.hasnormals = o.hasuv = o.hascolors = true;
    o.normals = (Vector*)Base.BS_MemGet(3 * sizeof(Vector), "test normals");
    o.uvs = (TexCoord*)Base.BS_MemGet(3 * sizeof(TexCoord), "test uvs");
    o.colors = (Vector*)Base.BS_MemGet(3 * sizeof(Vector), "test colours");
    setupCamera(s, 0);
    take();
    drawObject(s, oi, 2);
    std::string tri = DataHash(o.faces, sizeof(Face));
    Lines want = {"glEnable(GL_FOG)",
                  "glFogi(GL_FOG_MODE, GL_EXP2)",
                  "glFogf(GL_FOG_DENSITY, 0.5)",
                  "glFogf(GL_FOG_START, 10)",
                  "glFogf(GL_FOG_END, 20)",
                  "glFogfv(GL_FOG_COLOR, [0.25, 0.5, 0.75, 1])",
                  "glMatrixMode(GL_MODELVIEW)",
                  "glPushMatrix()",
                  "glTranslatef(2, 0, -4)",
                  "glTranslatef(1, 2, 3)",
                  "glRotatef(10, 1, 0, 0)",
                  "glRotatef(20, 0, 1, 0)",
                  "glRotatef(30, 0, 0, 1)",
                  "glTranslatef(-1, -2, -3)",
                  "glEnable(GL_CULL_FACE)",
                  "glCullFace(GL_BACK)",
                  "glEnable(GL_LIGHTING)",
                  "glEnable(GL_TEXTURE_2D)",
                  "glBindTexture(GL_TEXTURE_2D, 7)",
                  "glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, [16])",
                  "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16)",
                  "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE)",
                  "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE)",
                  "glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, [0.25, 0.5, 0.75, 1])",
                  "glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, [0.5, 0.5, 0.5, 1])",
                  "glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, [1, 0, 0, 1])",
                  "glShadeModel(GL_SMOOTH)",
                  "glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, 12)",
                  "glMatrixMode(GL_TEXTURE)",
                  "glLoadIdentity()",
                  "glScalef(2, 3, 1)",
                  "glTranslatef(1, 0.5, 0)",
                  "glEnableClientState(GL_VERTEX_ARRAY)",
                  "glVertexPointer(3, GL_FLOAT, 12, ptr)",
                  "glEnableClientState(GL_NORMAL_ARRAY)",
                  "glNormalPointer(GL_FLOAT, 12, ptr)",
                  "glEnableClientState(GL_TEXTURE_COORD_ARRAY)",
                  "glTexCoordPointer(2, GL_FLOAT, 8, ptr)",
                  "glEnableClientState(GL_COLOR_ARRAY)",
                  "glColorPointer(3, GL_FLOAT, 12, ptr)",
                  "glColor4f(0.25, 0.5, 0.75, 0.5)",
                  "glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, " + tri + ")",
                  "glDisableClientState(GL_VERTEX_ARRAY)",
                  "glDisableClientState(GL_NORMAL_ARRAY)",
                  "glDisableClientState(GL_TEXTURE_COORD_ARRAY)",
                  "glDisableClientState(GL_COLOR_ARRAY)",
                  // the environment pass, still on the scrolled texture matrix
                  "glEnable(GL_TEXTURE_2D)",
                  "glBindTexture(GL_TEXTURE_2D, 9)",
                  "glEnable(GL_TEXTURE_GEN_S)",
                  "glEnable(GL_TEXTURE_GEN_T)",
                  "glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP)",
                  "glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP)",
                  "glDepthFunc(GL_EQUAL)",
                  "glEnable(GL_BLEND)",
                  "glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)",
                  "glColor4f(1, 0.5, 0.25, 0.75)",
                  "glEnableClientState(GL_VERTEX_ARRAY)",
                  "glVertexPointer(3, GL_FLOAT, 12, ptr)",
                  "glEnableClientState(GL_NORMAL_ARRAY)",
                  "glNormalPointer(GL_FLOAT, 12, ptr)",
                  "glDrawElements(GL_TRIANGLES, 3, GL_UNSIGNED_INT, " + tri + ")",
                  "glDisableClientState(GL_VERTEX_ARRAY)",
                  "glDisableClientState(GL_NORMAL_ARRAY)",
                  "glDepthFunc(GL_LEQUAL)",
                  "glDisable(GL_TEXTURE_GEN_S)",
                  "glDisable(GL_TEXTURE_GEN_T)",
                  "glDisable(GL_BLEND)",
                  "glMatrixMode(GL_MODELVIEW)",
                  "glPopMatrix()",
                  "glDisable(GL_FOG)"};
    Lines got = take();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << i;
}

TEST_F(DrawTrace, PlainMaterialsAndTheAdditiveEnvironmentPass) {
    int32_t mi = AddMaterial(s);
    int32_t oi = AddTriangle(s, mi);
    FinishScene(s);
    Material& m = s.materials[mi];
    m.envmap = true, m.envmapglname = 3;  // envmapblend off: adds
    m.texturewrap = 0;
    SceneObject& o = s.objects[oi];
    o.hasuv = true;  // no texture: no coordinates either
    o.uvs = (TexCoord*)Base.BS_MemGet(3 * sizeof(TexCoord), "test uvs");
    o.fogmode = 9;
    drawObject(s, oi, 0);
    Lines got = take();
    EXPECT_EQ(Find(got, "glDisable(GL_TEXTURE_2D)"), 10);
    EXPECT_EQ(Find(got, "glDisable(GL_LIGHTING)"), 9);
    EXPECT_EQ(Find(got, "glDisable(GL_CULL_FACE)"), 8);
    EXPECT_EQ(CountPrefix(got, "glTexCoordPointer("), 0);
    int eq = Find(got, "glDepthFunc(GL_EQUAL)");
    ASSERT_GT(eq, 0);
    EXPECT_EQ(got[eq + 2], "glBlendFunc(GL_ONE, GL_ONE)");
    EXPECT_EQ(got[0], "glDisable(GL_FOG)");

    // Texturing with repeat and no anisotropy query when it is switched off;
    // a fog mode past the table keeps the previous mode.
    m.textured = true, m.envmap = false;
    o.fog = true;
    anisotropyEnabled = false;
    drawObject(s, oi, 0);
    got = take();
    EXPECT_EQ(CountPrefix(got, "glGetFloatv("), 0);
    EXPECT_EQ(CountPrefix(got, "glFogi("), 0);
    EXPECT_EQ(Count(got, "glFogf(GL_FOG_DENSITY, 0)"), 1);
    EXPECT_EQ(Count(got, "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT)"), 1);
    EXPECT_EQ(Count(got, "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT)"), 1);
    EXPECT_EQ(CountPrefix(got, "glTexCoordPointer(2, GL_FLOAT, 8, ptr)"), 1);

    // A driver limit caps what the driver offers; the query stays.
    anisotropyEnabled = true;
    glAnisotropyLimit = 1;
    drawObject(s, oi, 0);
    got = take();
    glAnisotropyLimit = 0;
    EXPECT_EQ(Count(got, "glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, [16])"), 1);
    EXPECT_EQ(CountPrefix(got, "glTexParameterf("), 1);
    EXPECT_EQ(Count(got, "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1)"), 1);
}

TEST_F(DrawTrace, StripsAreSixteenBitIndicesEverythingElseTriangleLists) {
    int32_t mi = AddMaterial(s);
    int32_t a = AddFloor(s, mi, 0, 0, 1, 1, 0), b = AddFloor(s, mi, 0, 0, 1, 1, 0), c = AddFloor(s, mi, 0, 0, 1, 1, 0);
    FinishScene(s);
    uint16_t strip[4] = {0, 1, 3, 2};
    s.objects[a].rendermode = 1;
    s.objects[a].striplength = 4;
    s.objects[a].strip = (uint16_t*)Base.BS_MemGet(sizeof strip, "test strip");
    memcpy(s.objects[a].strip, strip, sizeof strip);
    s.objects[b].rendermode = 0;
    s.objects[c].rendermode = 2;
    drawScene(s, 0);
    std::vector<DrawState> d = ReplayDraws(take());
    ASSERT_EQ(d.size(), 3u);
    std::string tris = DataHash(s.objects[b].faces, 2 * sizeof(Face));
    EXPECT_EQ(d[0].call, "glDrawElements(GL_TRIANGLE_STRIP, 4, GL_UNSIGNED_SHORT, " + DataHash(strip, 8) + ")");
    EXPECT_EQ(d[1].call, "glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, " + tris + ")");
    EXPECT_EQ(d[2].call, d[1].call);
}

TEST_F(DrawTrace, WireOverlayOfAnInvisibleObjectAndTheSwitch) {
    int32_t oi = AddTriangle(s, AddMaterial(s), {5, 5, 5});
    FinishScene(s);
    SetObjectTrack(s, oi, {{0, {1, 2, 3}}});
    s.objects[oi].visible = false;
    s.objects[oi].wireframe = 1;
    drawScene(s, 0);
    Lines got = take();
    EXPECT_EQ(CountPrefix(got, "glDrawElements("), 0);
    int start = Find(got, "glLineWidth(2)");
    ASSERT_GE(start, 0);
    EXPECT_EQ(Slice(got, start, start + 20),
              (Lines{"glLineWidth(2)", "glDepthFunc(GL_LESS)", "glMatrixMode(GL_MODELVIEW)", "glPushMatrix()",
                     "glTranslatef(1, 2, 3)", "glDisable(GL_CULL_FACE)", "glDisable(GL_LIGHTING)",
                     "glDisable(GL_TEXTURE_2D)", "glColor4f(1, 1, 1, 1)", "glBegin(GL_LINES)",
                     "glVertex3f(0, 0, 0)", "glVertex3f(1, 0, 0)", "glVertex3f(1, 0, 0)", "glVertex3f(0, 1, 0)",
                     "glVertex3f(0, 1, 0)", "glVertex3f(0, 0, 0)", "glEnd()", "glPopMatrix()",
                     "glDisable(GL_ALPHA_TEST)", "glDepthMask(GL_TRUE)"}));
    // Drawn over a visible object too, before the pass loop; not when off.
    s.objects[oi].visible = true;
    drawScene(s, 0);
    got = take();
    EXPECT_LT(Find(got, "glLineWidth(2)"), FindPrefix(got, "glDrawElements("));
    wireOverlayEnabled = false;
    drawScene(s, 0);
    EXPECT_EQ(CountPrefix(take(), "glLineWidth("), 0);
    // A bad index: only the line state.
    drawWireOverlay(s, 1, 0, 0.5f);
    drawWireOverlay(s, -1, 0, 0.5f);
    EXPECT_EQ(take(), (Lines{"glLineWidth(2)", "glDepthFunc(GL_LESS)", "glLineWidth(2)", "glDepthFunc(GL_LESS)"}));
}

TEST_F(DrawTrace, BadIndicesAndMissingMaterialsDrawNothing) {
    int32_t oi = AddTriangle(s, AddMaterial(s));
    int32_t bad = AddTriangle(s, 0);
    FinishScene(s);
    s.objects[bad].material = 99;
    for (int32_t i : {-1, 2, 1000, -2147483647 - 1}) drawObject(s, i, 0);
    drawObject(s, bad, 0);
    drawObjectLightScaled(s, 5, 0);
    drawSilhouetteBlack(s, -3, 0);
    EXPECT_TRUE(take().empty());
    drawScene(s, 0);
    EXPECT_EQ(ReplayDraws(take()).size(), 1u);
    (void)oi;
    // A scene with no objects at all still draws its camera and lights.
    Scene empty{};
    InitScene(empty, "empty", {0, -1, 0}, {0, 0, 0});
    drawScene(empty, 0);
    EXPECT_EQ(take().back(), "glDepthMask(GL_TRUE)");
    ReleaseScene(empty);
}

TEST_F(DrawTrace, WithoutTheDepthFunctionAndWithEyeLights) {
    int32_t mi = AddMaterial(s);
    int32_t oi = AddTriangle(s, mi);
    FinishScene(s);
    Material& m = s.materials[mi];
    m.depthfunc = 3, m.diffuse = {0.5f, 1, 0.25f}, m.specular = {1, 1, 1}, m.constantalpha = 0.75f;
    m.envmap = true, m.envmapblend = true;
    m.textured = true;
    s.objects[oi].fog = true;
    s.objects[oi].texturescroll = {1, 1, 1};
    s.objects[oi].scalematerial = true;
    s.materialscale = 0.5f;
    s.lights[0].enabled = true;

    drawSceneNoDepthFunc(s, 3);
    Lines got = take();
    // Only the environment pass touches the comparison.
    EXPECT_EQ(CountPrefix(got, "glDepthFunc("), 2);
    EXPECT_EQ(Count(got, "glDepthFunc(GL_GREATER)"), 0);

    drawSceneEyeLights(s, 3);
    got = take();
    int scale = Find(got, "glScalef(1, 1, 1)");
    int light = Find(got, "glEnable(GL_LIGHT0)");
    int look = FindPrefix(got, "gluLookAt(");
    ASSERT_GE(scale, 0);
    EXPECT_LT(scale, light);
    EXPECT_LT(light, look);
    EXPECT_EQ(got[look - 2], "glMatrixMode(GL_MODELVIEW)");
    EXPECT_EQ(Count(got, "glDepthFunc(GL_GREATER)"), 1);
    EXPECT_EQ(Count(got, "glEnable(GL_FOG)") + CountPrefix(got, "glFog"), 0);
    EXPECT_EQ(CountPrefix(got, "glGetFloatv("), 0);
    EXPECT_EQ(Count(got, "glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, [0.25, 0.5, 0.125, 1])"), 1);
    EXPECT_EQ(Count(got, "glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, [0.5, 0.5, 0.5, 1])"), 1);
    EXPECT_EQ(Count(got, "glColor4f(0.25, 0.5, 0.125, 0.75)"), 1);
    int tex = Find(got, "glScalef(1, 1, 1)", look);
    EXPECT_EQ(got[tex + 1], "glEnableClientState(GL_VERTEX_ARRAY)");  // no scroll
    EXPECT_EQ(Count(got, "glBlendFunc(GL_ONE, GL_ONE)"), 1);          // the plain pass adds
    EXPECT_EQ(Count(got, "glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)"), 0);
}

TEST_F(DrawTrace, HighlightDrawsTheOthersThenTheObjectAdditivelyThenTheOthers) {
    objectWithOwnMaterial(10);
    int32_t mid = objectWithOwnMaterial(11);
    objectWithOwnMaterial(12);
    FinishScene(s);
    s.objects[mid].texturescroll = {1, 0, 0};
    drawSceneHighlight(s, 5, 2, 3, 4, 0.125f, mid);
    Lines got = take();
    EXPECT_EQ(highlightFactor, 0.125f);
    std::vector<DrawState> d = ReplayDraws(got);
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(DrawnShines(got), (std::vector<int>{10, 12, 11, 10, 12}));
    EXPECT_TRUE(d[2].blend);
    EXPECT_EQ(d[2].blendFunc, "GL_ONE, GL_ONE");
    int flip = Find(got, "glScalef(1, 1, -1)");
    EXPECT_GT(flip, Find(got, "glScalef(2, 3, 4)"));
    EXPECT_EQ(got[flip - 1], "glMatrixMode(GL_PROJECTION)");
    EXPECT_GE(Find(got, "glTranslatef(0, 0, 0)", flip), 0);   // time 0: no scroll
    EXPECT_EQ(Find(got, "glTranslatef(5, 0, 0)"), -1);
    EXPECT_EQ(Find(got, "glScalef(1e-05, 1e-05, 1e-05)"), 6);
}

TEST_F(DrawTrace, FlareProbeAndFlares) {
    int32_t flareMat = AddMaterial(s), plain = AddMaterial(s);
    s.materials[flareMat].flaresize = 2;
    s.materials[flareMat].ambient = {1, 0.5f, 0.25f};
    s.materials[flareMat].glname = 4;
    SetCameraTracks(s, {{0, {2, -10, 1}}}, {{0, {0, 0, 0}}});  // off the Y axis: sprites have axes
    int32_t flare = AddTriangle(s, flareMat, {3, 0, 1});
    int32_t wall = AddTriangle(s, plain);
    FinishScene(s);
    s.objects[flare].flarecolor = {9, 9, 9};
    drawFlareProbe(s, 0);
    Lines got = take();
    EXPECT_FALSE(s.objects[flare].visible);
    EXPECT_TRUE(s.objects[wall].visible);
    int point = Find(got, "glBegin(GL_POINTS)");
    ASSERT_GT(point, 4);
    EXPECT_EQ(Slice(got, point - 3, point + 3),
              (Lines{"glEnable(GL_POINT_SMOOTH)", "glPointSize(5)", "glColor3f(1, 0.5, 0.25)", "glBegin(GL_POINTS)",
                     "glVertex3f(3, 0, 1)", "glEnd()"}));
    int black = Find(got, "glColor3f(0, 0, 0)");
    EXPECT_GT(black, point);
    EXPECT_EQ(CountPrefix(got, "glDrawElements("), 1);  // the wall's silhouette only
    int raster = Find(got, "glRasterPos3f(3, 0, 1)");
    EXPECT_GT(raster, black);
    EXPECT_EQ(got[raster + 1], "glGetFloatv(0x0B07, [0])");  // GL_CURRENT_RASTER_POSITION
    // The recording GL puts the raster at 0, 0 and reads black.
    EXPECT_EQ(got[raster + 2].rfind("glReadPixels(-1, -1, 3, 3, GL_RGB, GL_FLOAT, ", 0), 0u) << got[raster + 2];
    EXPECT_EQ(s.objects[flare].flarecolor.x, 0.0f);
    EXPECT_EQ(Slice(got, got.size() - 2), (Lines{"glDisable(GL_ALPHA_TEST)", "glDepthMask(GL_TRUE)"}));
    // The normal draw leaves the flare out now.
    drawScene(s, 0);
    EXPECT_EQ(ReplayDraws(take()).size(), 1u);

    s.objects[flare].flarecolor = {0.5f, 0.25f, 1};
    drawFlares(s, 0);
    got = take();
    EXPECT_EQ(Slice(got, 0, 2), (Lines{"glEnable(GL_TEXTURE_2D)", "glDepthMask(GL_FALSE)"}));
    int bind = Find(got, "glBindTexture(GL_TEXTURE_2D, 4)");
    ASSERT_GE(bind, 0);
    EXPECT_EQ(Slice(got, bind + 1, bind + 8),
              (Lines{"glDisable(GL_CULL_FACE)", "glDisable(GL_DEPTH_TEST)", "glDisable(GL_LIGHTING)",
                     "glEnable(GL_BLEND)", "glBlendFunc(GL_ONE, GL_ONE)", "glColor3f(0.5, 0.25, 1)",
                     "glBegin(GL_TRIANGLE_STRIP)"}));
    EXPECT_EQ(CountPrefix(got, "glVertex3f("), 4);
    EXPECT_EQ(got.back(), "glDepthMask(GL_TRUE)");
}

TEST_F(DrawTrace, PickingNamesObjectsInThePassLoop) {
    objectWithOwnMaterial(1);
    int32_t hidden = objectWithOwnMaterial(2);
    objectWithOwnMaterial(3);
    FinishScene(s);
    s.objects[hidden].visible = false;
    s.materials[0].depthfunc = 4;
    EXPECT_EQ(pickObject(s, 0, 10, 20), 0);  // the recording GL reports no hits
    Lines got = take();
    EXPECT_EQ(Slice(got, 0, 4),
              (Lines{"glSelectBuffer(512, buf)", "glRenderMode(GL_SELECT)", "glInitNames()", "glPushName(0x0000)"}));
    int pick = FindPrefix(got, "gluPickMatrix(");
    ASSERT_GT(pick, 0);
    EXPECT_EQ(got[pick], "gluPickMatrix(10, 20, 1, 1, [0, 0, 1024, 768])");
    EXPECT_EQ(got[pick - 2], "glLoadIdentity()");
    EXPECT_EQ(got[pick - 1], "glGetIntegerv(GL_VIEWPORT, [0, 0, 1024, 768])");
    EXPECT_EQ(got[pick + 1].rfind("gluPerspective(", 0), 0u);
    EXPECT_EQ(CountPrefix(got, "glDepthFunc("), 0);
    // Names are object index + 1 (the recording GL writes them in hex).
    int first = Find(got, "glLoadName(0x0001)"), third = Find(got, "glLoadName(0x0003)");
    ASSERT_GE(first, 0);
    EXPECT_LT(first, third);
    EXPECT_EQ(Find(got, "glLoadName(0x0002)"), -1);
    EXPECT_LT(FindPrefix(got, "glDrawElements(", first), third);
    EXPECT_EQ(got.back(), "glRenderMode(GL_RENDER)");
}

TEST_F(DrawTrace, ObjectsByName) {
    for (const char* n : {"lamp", "wall", "lamp", "lamps"}) {
        int32_t i = AddTriangle(s, 0);
        s.objects[i].name = S(n);
    }
    EXPECT_EQ(findObject(s, S("lamp")), 2);
    EXPECT_EQ(findObject(s, S("wall")), 1);
    EXPECT_EQ(findObject(s, S("lam")), 65535);
    hideObjects(s, S("lamp"));
    EXPECT_FALSE(s.objects[0].visible);
    EXPECT_TRUE(s.objects[1].visible);
    EXPECT_FALSE(s.objects[2].visible);
    EXPECT_TRUE(s.objects[3].visible);
    showObjects(s, S("lamp"));
    EXPECT_TRUE(s.objects[0].visible && s.objects[2].visible);
    Scene none{};
    EXPECT_EQ(findObject(none, S("x")), 65535);
    hideObjects(none, S("x"));
}

}  // namespace
