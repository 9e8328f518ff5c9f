// Real pixels: the engine drawing into Mesa's headless context through the
// window-manager module, read back and compared with where the geometry
// must land.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>

#include "draw_helpers.h"
#include "glbind/glbind.h"
#include "player/show.h"
#include "render/scenedraw.h"
#include "render/settings.h"
#include "render/shadows.h"
#include "scene/scenefile.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

const int W = 320, H = 240;

struct RealPixels : ::testing::Test {
    ThrowOnFailure throwing;
    Scene s{};
    std::string dir;
    bool textures = false;

    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("VELMAR_MODULE_OPENGL32_DLL");  // the system's GL, not the recording one
        unsetenv("VELMAR_MODULE_GLU32_DLL");
        setenv("VELMAR_MODULE_WM", (ModuleDir() + "/WM.so").c_str(), 1);
        wireOverlayEnabled = false;  // as the show plays
        worldScale = 1;
        WmBind();
        GlBind();
        GluBind();
        ASSERT_EQ(OpenWindow("draw test"), 0);
        ShowSetGlState();
        GL.glViewport(0, 0, W, H);
        dir = MakeTempDir("draw");
    }
    void TearDown() override {
        ReleaseScene(s);
        if (textures) TlUnbind();
        WmUnbind();
        GluUnbind();
        GlUnbind();
        RemoveTree(dir);
        wireOverlayEnabled = true;
        anisotropyEnabled = true;
    }
    void useTextures() {
        setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
        TlBind();
        textures = true;
        tmReset();
        tmSetLoaderOptions(0);
    }
    // The pixel a world point lands on, under the camera of the last draw.
    const uint8_t* pixelOf(const Picture& p, Vector world) {
        WindowPoint w = ProjectPoint(world);
        EXPECT_TRUE(w.inside);
        int x = (int)w.x, y = (int)w.y;
        if (x < 0 || y < 0 || x >= p.w || y >= p.h) x = y = 0;
        return p.at(x, y);
    }
    int32_t litMaterial(Vector ambient) {
        int32_t m = AddMaterial(s);
        Material& mat = s.materials[m];
        mat.receivelight = true;
        mat.ambient = ambient, mat.diffuse = {1, 1, 1}, mat.specular = {0, 0, 0};
        return m;
    }
};

TEST_F(RealPixels, ALitTexturedCubeShowsLitAndUnlitFaces) {
    useTextures();
    // Left texel red, right texel white; no filtering between them.
    WriteFile(dir + "/halves.tga", TgaRgb(2, 1, {255, 0, 0, 255, 255, 255}));
    InitScene(s, "cube", {4, -6, 3}, {0, 0, 0});
    int32_t m = litMaterial({0.2f, 0.2f, 0.2f});
    s.materials[m].textured = true;
    s.materials[m].texturename = S("halves.tga");
    s.materials[m].magtype = 0;
    AddCube(s, m, {0, 0, 0}, 1, true);
    FinishScene(s);
    s.objects[0].backfacecull = true;
    SceneLight& l = s.lights[0];
    l.enabled = true, l.pos = {10, 0, 0}, l.diffuse = {1, 1, 1};
    SetupSceneTextures(s, S(dir));
    ASSERT_NE(s.materials[m].glname, 0u);

    // Texels exactly: without anisotropic filtering (llvmpipe filters the
    // oblique side anisotropically even for a NEAREST texture).
    anisotropyEnabled = false;
    clearFrame();
    drawScene(s, 0);
    Picture p = ReadPicture(W, H);
    // The +X side faces the light; u runs along Y there, along Z on -Y.
    const uint8_t* litRed = pixelOf(p, {1, -0.5f, 0});
    const uint8_t* litWhite = pixelOf(p, {1, 0.5f, 0});
    const uint8_t* darkRed = pixelOf(p, {0, -1, -0.5f});
    const uint8_t* darkWhite = pixelOf(p, {0, -1, 0.5f});
    const uint8_t* top = pixelOf(p, {0.5f, 0, 1});
    EXPECT_GE(litRed[0], 240);
    EXPECT_LE(litRed[1], 12);
    EXPECT_LE(litRed[2], 12);
    for (int c = 0; c < 3; ++c) EXPECT_GE(litWhite[c], 240) << c;
    // Unlit: only the scene ambient (0.2 of the material's 0.2) on the texture.
    EXPECT_NEAR(darkRed[0], 10, 3);
    EXPECT_LE(darkRed[1], 2);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(darkWhite[c], 10, 3) << c;
    EXPECT_NEAR(top[1], top[0], 3);
    EXPECT_LE(top[0], 13);
    const uint8_t* corner = p.at(0, 0);
    EXPECT_EQ(corner[0] + corner[1] + corner[2], 0);

    // With it switched on, llvmpipe (this context) still gets the same
    // texels: its anisotropy is limited to 1.
    ASSERT_EQ(glAnisotropyLimit, 1.0f);
    anisotropyEnabled = true;
    clearFrame();
    drawScene(s, 0);
    EXPECT_EQ(ReadPicture(W, H).rgb, p.rgb);

    // Switched off, the lit side looks like the others.
    l.enabled = false;
    clearFrame();
    drawScene(s, 0);
    Picture off = ReadPicture(W, H);
    EXPECT_NEAR(pixelOf(off, {1, 0.5f, 0})[1], darkWhite[1], 3);
    ReleaseSceneTextures(s);
}

// Guards the control-room freeze: one textured triangle seen 1 degree off
// edge-on, in a 256 x 256 viewport. With anisotropic filtering at llvmpipe's
// maximum this one draw takes about three minutes; limited to 1 it takes
// milliseconds. The bound is a hang guard, not a speed target.
TEST_F(RealPixels, ATriangleSeenNearlyEdgeOnDrawsInBoundedTime) {
    useTextures();
    std::vector<uint8_t> checker;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) checker.insert(checker.end(), 3, ((x / 8 + y / 8) & 1) ? 255 : 40);
    WriteFile(dir + "/checker.tga", TgaRgb(64, 64, checker));
    InitScene(s, "edge-on", {7.678048f, -21.272429f, 7.603125f}, {13.875383f, 0, 5});
    s.camerafov = 1.0472f;
    int32_t m = AddMaterial(s);
    s.materials[m].textured = true;
    s.materials[m].texturename = S("checker.tga");
    s.materials[m].magtype = 3;
    int32_t o = AddMesh(s, m, {{13.1282f, -3.0413f, 0}, {11.775f, -7.333f, 2.4f}, {11.775f, -7.333f, 0}}, {{0, 1, 2}});
    SceneObject& ob = s.objects[o];
    ob.hasuv = true;
    ob.uvs = (TexCoord*)Base.BS_MemGet(3 * sizeof(TexCoord), "test uvs");
    ob.uvs[0] = {0, 0}, ob.uvs[1] = {1, 1}, ob.uvs[2] = {0, 1};
    FinishScene(s);
    SetupSceneTextures(s, S(dir));
    GL.glViewport(0, 0, 256, 256);
    auto t0 = std::chrono::steady_clock::now();
    clearFrame();
    drawScene(s, 0);
    GL.glFinish();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    GL.glViewport(0, 0, W, H);
    EXPECT_LT(seconds, 10.0);
    // The sliver is drawn: some pixel is not black.
    Picture p = ReadPicture(256, 256);
    size_t lit = 0;
    for (uint8_t c : p.rgb) lit += c != 0;
    EXPECT_GT(lit, 0u);
    ReleaseSceneTextures(s);
}

TEST_F(RealPixels, AShadowedFloorIsDarkerExactlyWhereTheCastersShadowFalls) {
    InitScene(s, "shadow", {0, -12, 14}, {0, 0, 0});
    int32_t m = litMaterial({0.1f, 0.1f, 0.1f});
    AddFloor(s, m, -6, -6, 6, 6, 0);
    int32_t cube = AddCube(s, m, {0, 0, 2}, 1);
    FinishScene(s);
    s.objects[cube].castshadow = true;
    SceneLight& l = s.lights[0];
    l.enabled = true, l.pos = {0, 0, 10}, l.diffuse = {1, 1, 1};

    clearFrame();
    drawScene(s, 0);
    Picture plain = ReadPicture(W, H);
    std::vector<float> depth = ReadDepth(W, H);
    clearFrame();
    drawScene(s, 0);
    castShadowVolumes(s, l.pos, 0);
    darkenShadows(0.5f);
    Picture shadowed = ReadPicture(W, H);
    EXPECT_EQ(s.shadowquadcount, 4);  // the top square's edges

    // The light at height 10 throws the cube's top (height 3) onto the floor
    // as a square of half-size 10/7 around the origin.
    const double edge = 10.0 / 7.0, margin = 0.12;
    int inside = 0, outside = 0;
    for (float y = -5.5f; y <= 5.5f; y += 0.1f)
        for (float x = -5.5f; x <= 5.5f; x += 0.1f) {
            WindowPoint w = ProjectPoint({x, y, 0});
            if (!w.inside) continue;
            int px = (int)w.x, py = (int)w.y;
            if (std::fabs(depth[(size_t)py * W + px] - w.depth) > 2e-4f) continue;  // the cube hides it
            double d = std::fmax(std::fabs(x), std::fabs(y));
            const uint8_t* a = plain.at(px, py);
            const uint8_t* b = shadowed.at(px, py);
            if (d < edge - margin) {
                ++inside;
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(b[c], a[c] / 2.0, 1.01) << x << "," << y;
                EXPECT_GT(a[0], 20) << x << "," << y;
            } else if (d > edge + margin) {
                ++outside;
                for (int c = 0; c < 3; ++c) ASSERT_EQ(b[c], a[c]) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 30);
    EXPECT_GT(outside, 3000);
}

TEST_F(RealPixels, PickingFindsTheObjectUnderThePoint) {
    InitScene(s, "pick", {0, -10, 0.5f}, {0, 0, 0});
    int32_t m = litMaterial({1, 1, 1});
    s.materials[m].receivelight = false;
    AddCube(s, m, {-2, 0, 0}, 0.8f);
    AddCube(s, m, {2, 0, 0}, 0.8f);
    AddCube(s, m, {2, 3, 0}, 0.8f);  // right behind the second one
    FinishScene(s);
    clearFrame();
    drawScene(s, 0);
    WindowPoint left = ProjectPoint({-2, 0, 0}), right = ProjectPoint({2, 0, 0});
    EXPECT_EQ(pickObject(s, 0, (int)left.x, (int)left.y), 1);
    EXPECT_EQ(pickObject(s, 0, (int)right.x, (int)right.y), 2);  // the nearer of two hits
    EXPECT_EQ(pickObject(s, 0, 2, H - 3), 0);
}

TEST_F(RealPixels, TheFlareProbeReadsItsPointOrTheOccluderInFront) {
    InitScene(s, "flare", {1, -10, 1}, {0, 0, 0});
    int32_t flareMat = AddMaterial(s), wallMat = AddMaterial(s);
    s.materials[flareMat].flaresize = 1;
    s.materials[flareMat].ambient = {1, 0.5f, 0};
    int32_t flare = AddTriangle(s, flareMat, {0, 0, 0});
    int32_t wall = AddFloor(s, wallMat, -1, -1, 1, 1, 0);
    FinishScene(s);
    s.objects[wall].visible = false;  // first with nothing in front
    clearFrame();
    drawFlareProbe(s, 0);
    EXPECT_NEAR(s.objects[flare].flarecolor.x, 1.0f, 0.01f);
    EXPECT_NEAR(s.objects[flare].flarecolor.y, 0.5f, 0.01f);
    EXPECT_EQ(s.objects[flare].flarecolor.z, 0.0f);
    // A wall between the eye and the point: the probe reads black.
    for (int i = 0; i < 4; ++i) {
        Vector& v = s.objects[wall].vertices[i];
        v = Vector{v.x * 3, -2, v.y * 3};
    }
    s.objects[wall].visible = true;
    clearFrame();
    drawFlareProbe(s, 0);
    EXPECT_EQ(s.objects[flare].flarecolor.x, 0.0f);
    EXPECT_EQ(s.objects[flare].flarecolor.y, 0.0f);
}

}  // namespace
