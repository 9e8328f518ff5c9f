// The scene draw as call sequences (the long ones in traces.txt): camera,
// passes, material state, culling, lights, the object draw, overlays, flares,
// picking and the frame and glow textures.
#include <chrono>

#include "draw_helpers.h"
#include "render/screenfx.h"

extern "C" size_t BS_MemLabelBytes(const char* label) __attribute__((weak));

namespace {

const bool AnisotropyAtStart = anisotropyEnabled;

TEST_F(DrawTrace, CameraSetUpReadsSceneAndScaleEveryTimeAndStopsWithoutTracks) {
    EXPECT_TRUE(AnisotropyAtStart);
    setupCamera(s, 0);
    take();
    SetCameraTracks(s, {{0, {0, -10, 0}}, {10, {6, -10, 0}}}, {{0, {0, 0, 0}}, {10, {0, 0, 4}}});
    s.camerafov = 0.5f, s.cameranear = 2, s.camerafar = 300;
    worldScale = 2.5f;  // as a show part or the configuration changes them
    setupCamera(s, 5);
    EXPECT_EQ(std::pair(cameraEye.x, cameraTarget.z), std::pair(3.0f, 2.0f));
    cameraEye = Vector{7, 7, 7};
    setupCameraOnly(s, 5);  // the look-at on the projection, scaled down; the eye kept
    setupCameraAt(s, Vector{1, 2, 3}, Vector{4, 5, 6});
    clearFrame();
    EXPECT_TRUE(IsTrace(take(), "camera"));
    EXPECT_EQ(cameraEye.x, 7.0f);
    for (int missing = 0; missing < 2; ++missing) {  // either track missing: stopped before any call
        SetCameraTracks(s, missing ? Keys{{0, {0, 0, 0}}} : Keys{}, missing ? Keys{} : Keys{{0, {0, 0, 0}}});
        for (int k = 0; k < 3; ++k) {
            try {
                k == 0 ? drawScene(s, 0) : k == 1 ? setupCameraOnly(s, 0) : setupCameraAt(s, {1, 2, 3}, {0, 0, 0});
                ADD_FAILURE() << "went on " << k;
            } catch (const Failure& f) {
                EXPECT_EQ(f.kind, FailFatalStop);
                EXPECT_EQ(f.message, (k ? "Velmar" : "VELMAR") + std::string(": Scene not renderable without camera "
                                                                            "animation target and position track"));
            }
            EXPECT_TRUE(take().empty()) << k;
        }
    }
}

// Guards the pass loop counting through every pass up to a huge passno.
TEST_F(DrawTrace, PassesInOrderObjectsInIndexOrderAndFarApartPassNumbersInBoundedTime) {
    const int32_t passes[] = {1, 0, 2, 0, 1, 3, -1, 0, 2147483647};
    for (int i = 0; i < 9; ++i) object(100 + i).passno = passes[i];
    FinishScene(s);
    s.objects[7].visible = false;
    s.maxpassno = 2;  // passes 3 and up lie outside, -1 too
    drawScene(s, 0);
    EXPECT_EQ(DrawnShines(take()), (std::vector<int>{101, 103, 100, 104, 102}));
    s.maxpassno = 2147483647;
    auto start = std::chrono::steady_clock::now();
    drawScene(s, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(DrawnShines(take()), (std::vector<int>{101, 103, 100, 104, 102, 105, 108}));
}

// Each object's alpha test, blending, depth test and function: values past
// a table's end keep the state as it was (blend, depth test) or GL_LESS.
TEST_F(DrawTrace, MaterialStateTablesAndTheStateTheDrawEndsWith) {
    const uint8_t blend[] = {7, 1, 2, 3, 4, 0, 200}, test[] = {0, 1, 2, 3, 9, 0, 4}, func[] = {0, 1, 2, 3, 4, 7, 5};
    for (int i = 0; i < 7; ++i) {
        int32_t mi = object(i).material;
        Material& m = s.materials[mi];
        m.blend = blend[i], m.depthtest = test[i], m.depthfunc = func[i], m.alphatest = i ? 0 : 0.5f;
    }
    FinishScene(s);
    drawScene(s, 0);
    EXPECT_TRUE(IsTrace(take(), "material states"));
}

TEST_F(DrawTrace, LightsAndDistanceCullingAtExactlyTheViewDistance) {
    SetCameraTracks(s, {{0, {0, 0, 0}}}, {{0, {0, 1, 0}}});
    s.viewdistance = 50;
    int32_t at = objectWithOwnMaterial(1, {30, 40, 0});  // 50.0 from the eye
    int32_t beyond = objectWithOwnMaterial(2, {50.01f, 0, 0}), never = objectWithOwnMaterial(3, {1, 0, 0});
    objectWithOwnMaterial(4, {1e4f, 0, 0});  // cullmode 0: always
    FinishScene(s);
    s.objects[at].cullmode = s.objects[beyond].cullmode = 1, s.objects[never].cullmode = 2;
    s.objects[beyond].fog = true, s.objects[beyond].fogparams = {0.25f, 1, 2};
    // The track places the first light, not its position.
    sbLight(s, 0, "l0", {9, 9, 9}, {1, 0.5f, 0}, {0.1f, 0.2f, 0.3f}, {0, 0, 1}, {{0, {0, 0, 0}}, {10, {10, -4, 2}}});
    sbLight(s, 1, "l1", {1, 2, 3}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0});
    drawScene(s, 5);
    Lines got = take();
    EXPECT_EQ(DrawnShines(got), (std::vector<int>{1, 4}));
    EXPECT_TRUE(IsTrace(got, "lights and culling"));  // the one beyond: not drawn, yet fogged and placed
    int look = Find(got, "gluLookAt(");
    s.lights[0].enabled = false;  // switched off, not skipped
    drawScene(s, 5);
    EXPECT_EQ(Joined(take(), look + 1, look + 3), "glDisable(GL_LIGHT0); glEnable(GL_LIGHT1)");
}

// One object with everything: fog, a track, a turned pivot, culling,
// lighting, a clamped texture with anisotropy, all four arrays, a scrolling
// texture and an environment pass; then plain ones.
TEST_F(DrawTrace, TheObjectDrawStepByStep) {
    int32_t mi = AddMaterial(s);
    Mesh tri = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{}, {}, {}}, {{}, {}, {}}, {{0, 1, 2}}};  // with normals and UVs
    int32_t oi = AddMesh(s, mi, tri, {1, 2, 3});
    FinishScene(s);
    Material& m = s.materials[mi];
    m.textured = true, m.glname = 7, m.texturewrap = 1;
    m.ambient = {0.25f, 0.5f, 0.75f}, m.diffuse = {0.5f, 0.5f, 0.5f}, m.specular = {1, 0, 0};
    m.shine = 12, m.receivelight = true, m.constantalpha = 0.5f, m.utile = 2, m.vtile = 3;
    m.envmap = true, m.envmapglname = 9, m.envmapblend = true, m.envmapcolor = {1, 0.5f, 0.25f}, m.envmapalpha = 0.75f;
    SceneObject& o = s.objects[oi];
    o.fog = true, o.fogmode = 2, o.fogparams = {0.5f, 10, 20};
    o.fogcolor[0] = 0.25f, o.fogcolor[1] = 0.5f, o.fogcolor[2] = 0.75f, o.fogcolor[3] = 1;
    sbObjectTrack(s, oi, {{0, {0, 0, 0}}, {4, {4, 0, -8}}});
    o.rotation = {10, 20, 30}, o.backfacecull = true, o.texturescroll = {0.5f, 0.25f, 0};
    o.hascolors = true, o.colors = block<Vector>(3);
    drawObject(s, oi, 2);
    // Then untextured, unlit and unculled, without texture coordinates, with
    // an additive environment pass; textured again with repeat wrapping, no
    // anisotropy query while it is off, a fog mode past the table keeping the
    // previous mode.
    m.textured = m.receivelight = m.envmapblend = o.backfacecull = false, m.texturewrap = 0;
    o.fog = o.hascolors = false, o.texturescroll = {0, 0, 0};
    drawObject(s, oi, 0);
    m.textured = true, m.envmap = false, o.fog = true, o.fogmode = 9, anisotropyEnabled = false;
    drawObject(s, oi, 0);
    EXPECT_TRUE(IsTrace(take(), "object"));
}

// Guards the llvmpipe anisotropy stall: a driver limit caps what the driver offers; the query stays.
TEST_F(DrawTrace, TheAnisotropyLimitCapsTheDriversMaximum) {
    int32_t oi = AddTriangle(s, AddMaterial(s));
    FinishScene(s);
    s.materials[0].textured = true;
    glAnisotropyLimit = 1;
    drawObject(s, oi, 0);
    Lines got = take();
    int query = Find(got, "glGetFloatv(");
    EXPECT_EQ(Joined(got, query, query + 2), "glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, [16]); "
                                             "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1)");
    EXPECT_EQ(Count(got, "glTexParameterf("), 1);
}

// Guards objects whose material, faces, strip or colour array are missing.
TEST_F(DrawTrace, StripsSixteenBitOthersTriangleListsAndMissingPartsDrawNothing) {
    int32_t mi = AddMaterial(s);
    for (int i = 0; i < 6; ++i) AddFloor(s, mi, 0, 0, 1, 1, 0);
    FinishScene(s);
    uint16_t strip[4] = {0, 1, 3, 2};
    s.objects[0].rendermode = 1, s.objects[0].striplength = 4;
    s.objects[0].strip = (uint16_t*)memcpy(block<uint16_t>(4), strip, sizeof strip);
    s.objects[2].rendermode = 2, s.objects[2].hascolors = true;  // without its colour array
    s.objects[3].rendermode = 1, s.objects[3].striplength = 4;  // no strip
    s.objects[4].material = 99;
    Face* faces = std::exchange(s.objects[5].faces, nullptr);
    drawScene(s, 0);
    Lines got = take();
    EXPECT_EQ(Count(got, "glColorPointer("), 0);
    std::string tris = "glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, " + DataHash(faces, 24) + ")";
    EXPECT_EQ(Joined(RecglOnly(got, "glDrawElements(")),
              "glDrawElements(GL_TRIANGLE_STRIP, 4, GL_UNSIGNED_SHORT, " + DataHash(strip, 8) + "); " + tris + "; " +
                  tris);
    s.objects[5].faces = faces;
    for (int32_t i : {-1, 6, 1000, -2147483647 - 1, 4}) drawObject(s, i, 0);
    drawObjectLightScaled(s, 6, 0);
    drawSilhouetteBlack(s, -3, 0);
    EXPECT_TRUE(take().empty());
    Scene empty{};  // no objects at all: still the camera and lights
    InitScene(empty, "empty", {0, -1, 0}, {0, 0, 0});
    drawScene(empty, 0);
    EXPECT_EQ(take().back(), "glDepthMask(GL_TRUE)");
    ReleaseScene(empty);
}

TEST_F(DrawTrace, WireOverlaysOfVisibleAndInvisibleObjectsBeforeThePassLoopUnlessSwitchedOff) {
    int32_t oi = AddTriangle(s, AddMaterial(s), {5, 5, 5});
    FinishScene(s);
    sbObjectTrack(s, oi, {{0, {1, 2, 3}}});
    s.objects[oi].visible = false, s.objects[oi].wireframe = 1;
    drawScene(s, 0);
    EXPECT_TRUE(IsTrace(take(), "wire overlay"));
    s.objects[oi].visible = true;
    drawScene(s, 0);
    Lines got = take();
    EXPECT_LT(Find(got, "glLineWidth(2)"), Find(got, "glDrawElements("));
    wireOverlayEnabled = false;
    drawScene(s, 0);
    drawWireOverlay(s, 1, 0, 0.5f);  // a bad index: only the line state
    EXPECT_EQ(Count(take(), "glLineWidth("), 1);
}

// Without the depth function, only the environment pass sets one. With eye
// lights: lights placed before the look-at; no fog, no anisotropy, no
// scroll; diffuse and specular scaled; the environment pass adds.
TEST_F(DrawTrace, WithoutTheDepthFunctionAndWithEyeLights) {
    int32_t mi = AddMaterial(s), oi = AddTriangle(s, mi);
    FinishScene(s);
    Material& m = s.materials[mi];
    m.depthfunc = 3, m.diffuse = {0.5f, 1, 0.25f}, m.specular = {1, 1, 1}, m.constantalpha = 0.75f;
    m.envmap = m.envmapblend = m.textured = true;
    s.objects[oi].fog = s.objects[oi].scalematerial = true;
    s.objects[oi].texturescroll = {1, 1, 1};
    s.materialscale = 0.5f;
    s.lights[0].enabled = true;
    drawSceneNoDepthFunc(s, 3);
    drawSceneEyeLights(s, 3);
    EXPECT_TRUE(IsTrace(take(), "eye lights"));
}

TEST_F(DrawTrace, HighlightDrawsTheOthersThenTheObjectAdditivelyMirroredThenTheOthers) {
    objectWithOwnMaterial(10);
    int32_t mid = objectWithOwnMaterial(11);
    objectWithOwnMaterial(12);
    FinishScene(s);
    s.objects[mid].texturescroll = {1, 0, 0};  // drawn at time 0: no scroll
    drawSceneHighlight(s, 5, 2, 3, 4, 0.125f, mid);
    EXPECT_EQ(highlightFactor, 0.125f);
    EXPECT_TRUE(IsTrace(take(), "highlight"));
}

TEST_F(DrawTrace, FlareProbeAndFlares) {
    int32_t flareMat = AddMaterial(s), plain = AddMaterial(s);
    Material& fm = s.materials[flareMat];
    fm.flaresize = 2, fm.ambient = {1, 0.5f, 0.25f}, fm.glname = 4;
    SetCameraTracks(s, {{0, {2, -10, 1}}}, {{0, {0, 0, 0}}});  // off the Y axis: sprites have axes
    int32_t flare = AddTriangle(s, flareMat, {3, 0, 1}), wall = AddTriangle(s, plain);
    FinishScene(s);
    s.objects[flare].flarecolor = {9, 9, 9};
    drawFlareProbe(s, 0);
    EXPECT_TRUE(IsTrace(take(), "flare probe"));  // the recording GL reads black
    EXPECT_EQ(s.objects[flare].flarecolor.x, 0.0f);
    EXPECT_TRUE(!s.objects[flare].visible && s.objects[wall].visible);
    drawScene(s, 0);  // the normal draw leaves the flare out now
    EXPECT_EQ(Count(take(), "glDrawElements("), 1);
    s.objects[flare].flarecolor = {0.5f, 0.25f, 1};
    drawFlares(s, 0);
    EXPECT_TRUE(IsTrace(take(), "flares"));
}

TEST_F(DrawTrace, PickingNamesTheVisibleObjectsAndObjectsAreFoundByName) {
    for (const char* n : {"lamp", "wall", "lamp", "lamps"}) object(1).name = S(n);
    FinishScene(s);
    s.objects[1].visible = false;
    s.materials[0].depthfunc = 4;  // not used while picking
    EXPECT_EQ(pickObject(s, 0, 10, 20), 0);  // the recording GL reports no hits
    EXPECT_TRUE(IsTrace(take(), "picking"));  // names are object index + 1, in hex
    EXPECT_EQ(std::vector<int32_t>({findObject(s, S("lamp")), findObject(s, S("wall")), findObject(s, S("lam"))}),
              std::vector<int32_t>({2, 1, 65535}));  // the last of that name
    showObjects(s, S("wall"));
    hideObjects(s, S("lamp"));
    std::vector<bool> visible;
    for (int i = 0; i < 4; ++i) visible.push_back(s.objects[i].visible);
    EXPECT_EQ(visible, std::vector<bool>({false, true, false, true}));
    Scene none{};
    EXPECT_EQ(findObject(none, S("x")), 65535);
    hideObjects(none, S("x"));
}

// Cleared RGBA squares of 256 and 8 texels with linear filters, filled from
// the framebuffer's lower-left corner.
TEST_F(DrawTrace, FrameAndGlowTextures) {
    initFrameTexture();
    initGlowTexture();
    if (BS_MemLabelBytes) {
        EXPECT_EQ(BS_MemLabelBytes(" temporary texture data for framebuffer "), 0u);  // the scratch block is back
    }
    copyGlowTexture();
    copyFrameTexture();
    EXPECT_TRUE(IsTrace(take(), "frame and glow textures"));
}

}  // namespace
