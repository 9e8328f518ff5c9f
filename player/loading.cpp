#include "loading.h"

#include <cmath>
#include <string>

#include "../frame/frame.h"
#include "../frame/wm.h"
#include "../glbind/glbind.h"
#include "../render/scenedraw.h"
#include "font.h"
#include "showdata.h"

int32_t LoadingStepCount = 0;

namespace {

// Written as these decimals, not as 100/43 and 10/43: the screen shows
// exactly what they give.
const double PercentPerStep = 2.32558;
const double MarksPerStep = 0.232558;

// The line's place and look, shared by the loading screen and the overlay.
void drawLine(const ShortString& text) {
    DrawText(ShowFont, 720, 4, 50, 48, 0.8f, 0.8f, 0.8f, 1.0f, 0, 0, 0, 0, 32, 1, 2, 2, text);
}

long roundHalfEven(double v) { return std::lrint(v); }

}  // namespace

ShortString LoadingText(int32_t step) {
    long marks = roundHalfEven(step * MarksPerStep);
    long percent = roundHalfEven(step * PercentPerStep);
    // Past ten marks the bar stays ten wide.
    long hashes = marks < 0 ? 0 : marks > 10 ? 10 : marks;
    return S(" loading : ") + std::to_string(percent) + " %  [" + std::string((size_t)hashes, '#') +
           std::string((size_t)(10 - hashes), '-') + "]";
}

void TextStage() {
    GL.glClear(GL_DEPTH_BUFFER_BIT);
    GL.glDisable(GL_LIGHTING);
    GL.glDisable(GL_CULL_FACE);
    GL.glMatrixMode(GL_TEXTURE);
    GL.glLoadIdentity();
    GL.glMatrixMode(GL_PROJECTION);
    GL.glLoadIdentity();
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPushMatrix();
    GL.glLoadIdentity();
}

void LoadingStep() {
    clearFrame();
    LoadingStepCount++;
    TextStage();
    ShortString text = LoadingText(LoadingStepCount);
    SetWindowTitle(S("\"embercorvinth - vexil2\" ") + text);
    drawLine(text);
    GL.glDisable(GL_TEXTURE_2D);
    GL.glPopMatrix();
    WM.wmUpdate();
}

void DrawAuthorLine(const ShortString& text) {
    DrawText(ShowFont, 8, 4, 20, 24, 1.0f, 1.0f, 0.6f, 1.0f, 0, 0, 0, 0.6f, 12, 1, 3, 2, text);
    GL.glDisable(GL_TEXTURE_2D);
}

void DrawStatusOverlay(const ShortString& statusText) {
    drawLine(statusText);
    GL.glDisable(GL_TEXTURE_2D);
    GL.glColor3f(0.8f, 0.8f, 0.8f);
    for (int i = 0; i < 12; ++i) {
        float level = MusicLevel(i);
        GL.glBegin(GL_QUADS);
        GL.glVertex2f(0.3f + 0.05f * i, -1);
        GL.glVertex2f(0.34f + 0.05f * i, -1);
        GL.glVertex2f(0.34f + 0.05f * i, -1 + 0.1f * level);
        GL.glVertex2f(0.3f + 0.05f * i, -1 + 0.1f * level);
        GL.glEnd();
    }
}
