// The nine show parts: the show's script, dispatched by the timeline.
//
// Each part clears the frame, draws one scene (or none) at a time derived
// from the clock, particles and layer sets over it, and some use the music's
// loudness to change the camera, switch scenes, or blur and glow the picture.
#include <cmath>

#include "../frame/frame.h"
#include "../frame/wm.h"
#include "../glbind/glbind.h"
#include "../render/particles.h"
#include "../render/scenedraw.h"
#include "../render/screenfx.h"
#include "parts.h"
#include "showdata.h"
#include "timeline.h"

namespace {

using namespace ShowScene;
using namespace ShowLayer;

const float Pi = 3.14159265358979f;

int32_t clockNow() { return Base.BS_TimerGet(); }

// (clock + offset) / divisor; a zero divisor (an empty timeline field) gives
// time 0 rather than an infinite time.
float partTime(int32_t offset, float divisor) {
    float t = (float)(int32_t)((uint32_t)clockNow() + (uint32_t)offset) / divisor;
    return std::isfinite(t) ? t : 0.0f;
}

float loudness() { return MusicLevel(4) + MusicLevel(5); }

void scene(ShowScene::Index s, float time) { drawScene(ShowScenes[s], time); }
void particles(ShowScene::Index s, float time) { runParticles(ShowScenes[s], time); }
void layer(ShowLayer::Index l, float time) { ifeDraw(ShowLayers[l], time); }

void smallViewport() { GL.glViewport(0, 0, 256, 256); }
void fullViewport() { GL.glViewport(0, 0, WindowWidth(), WindowHeight()); }

void stage2D(bool clearDepth = true) {
    GL.glDisable(GL_STENCIL_TEST);
    GL.glDepthFunc(GL_LEQUAL);
    GL.glDisable(GL_LIGHTING);
    GL.glMatrixMode(GL_TEXTURE);
    GL.glLoadIdentity();
    GL.glEnable(GL_DEPTH_TEST);
    if (clearDepth) GL.glClear(GL_DEPTH_BUFFER_BIT);
    GL.glDisable(GL_LIGHTING);
}

void part1(int32_t offset, float p1, float p2, float, float, float) {
    float ft = partTime(offset, p1);
    clearFrame();
    scene(kard_anim, ft);
    stage2D();
    particles(kard_anim, 1.5f * ft);
    particles(kard_anim, 1000 - 1.5f * ft);
    layer(eleje, partTime(offset, p2));
    layer(fadeout, partTime(offset, p2));
    layer(border, 0);
    layer(fadein, partTime(offset, p2));
}

void part2(int32_t offset, float p1, float, float, float, float) {
    float ft = partTime(offset, p1);
    clearFrame();
    stage2D();
    layer(kek2, ft);
    layer(kek1, ft);
    layer(focim, ft);
    layer(credits, ft);
    layer(xfade, ft);
    layer(border, 0);
}

void part3(int32_t offset, float p1, float, float, float, float) {
    float L = loudness();
    float a = 5 * L;
    float b = 1000 * L;
    if (b < 200) b = 0;
    ShowScenes[vexil2_anim].camerafov = (30 - a) * Pi / 180;
    float ft = partTime(offset, p1);
    clearFrame();
    if (b > 0) {
        smallViewport();
        layer(kerethatul, ft);
        scene(vexil2_anim, ft);
        copyFrameTexture();
    }
    fullViewport();
    clearFrame();
    if (b == 0) {
        layer(kerethatul, ft);
        scene(vexil2_anim, ft);
    }
    stage2D();
    if (b > 0) layer(blur_8_full, 1000 - b);
    layer(ketto, ft);
    layer(xfade, ft);
    layer(border, 0);
}

void part4(int32_t offset, float p1, float, float, float, float) {
    float ft = partTime(offset, p1);
    float v = 1000 * loudness();
    clearFrame();
    if (v > 404) scene(vexildog_anim_envmap, 1000 - ft);
    else scene(vexildog_anim, ft);
    stage2D(false);
    particles(vexildog_anim, ft);
    GL.glClear(GL_DEPTH_BUFFER_BIT);
    layer(csont, ft);
    layer(xfade, ft);
    layer(border, ft);
}

void part5(int32_t offset, float p1, float, float, float, float) {
    float ft = partTime(offset, p1);
    clearFrame();
    stage2D();
    layer(greetings, ft);
    layer(border, 0);
}

void part6(int32_t offset, float p1, float, float, float, float) {
    float v = 500 * loudness();
    float ft = partTime(offset, p1);
    auto sceneTime = [&] { return v > 100 ? 1000 - ft : ft; };
    clearFrame();
    smallViewport();
    scene(controlroom_shadow_optimized, sceneTime());
    copyFrameTexture();
    stage2D();
    layer(glow_sotetit, 200);
    copyFrameTexture();
    fullViewport();
    clearFrame();
    scene(controlroom_shadow_optimized, sceneTime());
    stage2D();
    layer(blur_8_full, 0);
    layer(radialblur, 1000 - v);
    layer(starmap, ft);
    layer(xfade, ft);
    layer(border, 0);
}

void part7(int32_t offset, float p1, float, float, float, float) {
    float v = 500 * loudness();
    float ft = partTime(offset, p1);
    clearFrame();
    smallViewport();
    scene(kocka_anim, v > 500 ? 1000 - ft : ft);
    copyFrameTexture();
    stage2D();
    layer(glow_sotetit, 500);
    copyFrameTexture();
    fullViewport();
    clearFrame();
    scene(kocka_anim, ft - v / 100);
    stage2D();
    layer(blur_4_full, 500);
    layer(radialblur, 1000 - v);
    layer(starmap2, ft);
    layer(xfade, ft);
    layer(border, 0);
}

void part8(int32_t offset, float p1, float, float, float, float) {
    float ft = partTime(offset, p1);
    clearFrame();
    float d = 30 * MusicLevel(4);
    ShowScenes[untitled_prefinal].camerafov = (90 - d) * Pi / 180;
    scene(untitled_prefinal, 1.9f * ft + 100);
    stage2D(false);
    particles(untitled_prefinal, 1.9f * ft + 100);
    GL.glClear(GL_DEPTH_BUFFER_BIT);
    layer(harom, ft);
    layer(xfade, ft);
    layer(border, 0);
}

void part9(int32_t offset, float p1, float, float, float, float) {
    float ft = partTime(offset, p1);
    clearFrame();
    scene(sarkany, 0.6f * ft + 200);
    stage2D();
    layer(vege, ft);
    layer(fadein, ft);
    layer(border, 0);
    layer(fadeout, ft);
}

}  // namespace

void InstallShowParts() {
    DemoPartProc parts[9] = {part1, part2, part3, part4, part5, part6, part7, part8, part9};
    for (int i = 0; i < 9; ++i) DemoParts[i] = parts[i];
}
