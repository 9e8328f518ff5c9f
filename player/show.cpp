#include "show.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>

#include "../frame/frame.h"
#include "../glbind/glbind.h"
#include "../render/screenfx.h"
#include "../render/settings.h"
#include "../sound/sound.h"
#include "../textures/texman.h"
#include "author.h"
#include "font.h"
#include "loading.h"
#include "parts.h"
#include "profile.h"
#include "showdata.h"

ShowState Show;
Timeline ShowTimeline;

namespace {

const char LoadingTitle[] = "ember!corvinth - vexil2 LOADING";
const char PlayTitle[] = "\"ember!corvinth - vexil2\"";
const char FrameTitle[] = "\"embercorvinth - vexil2\" ";

const char* onOff(bool v) { return v ? "on" : "off"; }

const char* option(const char* key) { return Base.BS_CfgGet ? Base.BS_CfgGet(key) : nullptr; }

// The frames a capture takes decide which are drawn. The last one or two
// before --from are drawn whole, so the first frame taken finds what a
// whole run leaves in GL (the frame copies) as well as the show's state.
void readSegment() {
    const char* to = option("--to");
    const char* from = option("--from");
    const char* fps = option("--fps");
    double frameMs = 1000.0 / (fps ? std::max(1, atoi(fps)) : 60);
    Show.endtime = to ? atoi(to) : ShowEndTime;
    Show.drawfrom = from ? std::max(0, (int32_t)(atoi(from) - 1.5 * frameMs)) : -1;
    Show.drawnothing = option("--sound-only") != nullptr;
}


}  // namespace

ShortString OneDecimal(double value) {
    // Halves round away from zero, as a decimal writer does.
    double tenths = std::floor(std::fabs(value) * 10.0 + 0.5);
    if (value < 0 && tenths > 0) tenths = -tenths;
    char b[64];
    std::snprintf(b, sizeof b, "%.1f", tenths / 10.0);
    return S(b);
}

void ShowRegisterUnits() {
    InstallShowParts();
    GlRegisterUnits();
    TlRegisterUnits();
    SoundRegister();
}

void ShowSetGlState() {
    GL.glClearColor(0, 0, 0, 0);
    GL.glClearDepth(1.0);
    GL.glClearStencil(0);
    GL.glEnable(GL_DEPTH_TEST);
    GL.glDepthFunc(GL_LEQUAL);
    GL.glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST);
    GL.glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    GL.glEnable(GL_LIGHTING);
    GL.glEnable(GL_CULL_FACE);
    GL.glCullFace(GL_BACK);
}

void ShowStartPlay() {
    Show.totalframes = 0;
    Show.fpsframes = 0;
    Show.fpstext = S("0.0");
    Show.lastfpsupdate = 0;
    SetWindowTitle(S(PlayTitle));
    Show.overlayshown = false;
    Show.video = true;
    LogLine("--- playing...");
    ReadTimeline(ShowTimeline, ShowTimelineFile);
    sndPlayMusic();
    Base.BS_TimerReset();
    Show.lastframeend = 0;
    auStartPlay();
    readSegment();
}

bool ShowPlayEnds() {
    int32_t end = Show.endtime > 0 ? std::min(Show.endtime, ShowEndTime) : ShowEndTime;
    return Show.quit || WindowClosed() || (Base.BS_TimerGet() >= end && !auHoldsEnd());
}

bool ShowFrameDrawn(int32_t t) { return !Show.drawnothing && (Show.drawfrom < 0 || t >= Show.drawfrom); }

void ShowFrame() {
    profFrameStart();
    auFrameStart();
    glDrawNothing(!ShowFrameDrawn(Base.BS_TimerGet()));
    if (KeyDown(WM_KEY_ESCAPE)) Show.quit = true;  // the frame is still completed

    int32_t t = Base.BS_TimerGet();
    int32_t due = TimelineLookup(ShowTimeline, t);
    if (due >= 0) TimelineDispatch(ShowTimeline.entries[due]);

    Show.totalframes++;
    Show.fpsframes++;

    TextStage();  // the overlay's set-up

    // Each clock read is its own, as the rates were always taken.
    int32_t now = Base.BS_TimerGet();
    if (now != 0) Show.afpstext = OneDecimal(Show.totalframes / (now / 1000.0));
    if ((int64_t)Base.BS_TimerGet() - Show.lastfpsupdate >= 1000) {
        Show.fpstext = OneDecimal(Show.fpsframes / (((int64_t)Base.BS_TimerGet() - Show.lastfpsupdate) / 1000.0));
        Show.lastfpsupdate = Base.BS_TimerGet();
        Show.fpsframes = 0;
    }

    Show.statustext = S("fps:") + Show.fpstext + "] v/a:" + onOff(Show.video) + "/" + onOff(anisotropyEnabled) +
                      " afps:" + Show.afpstext + " time:" + std::to_string(Base.BS_TimerGet());
    SetWindowTitle(S(FrameTitle) + Show.statustext);
    if (Show.overlayshown) DrawStatusOverlay(Show.statustext);
    auDrawStatus();

    // Space toggles the overlay when it is let go, not while it is held.
    uint8_t space = KeyState(WM_KEY_SPACE);
    if (space == 0 && Show.prevspace != 0) Show.overlayshown = !Show.overlayshown;
    Show.prevspace = space;

    GL.glPopMatrix();
    if (profActive()) {
        const TimelineEntry* e = due >= 0 ? &ShowTimeline.entries[due] : nullptr;
        profFrameDrawn(t, e ? e->part : 0, due);
    }
    WM.wmUpdate();
    profFramePresented();
    Show.lastframeend = Base.BS_TimerGet();
}

void ShowMain() {
    profOpen();
    RunInits();
    // Any failure of the opener, not only 1: without a window nothing below
    // has a GL context to draw with.
    if (OpenWindow(LoadingTitle) != 0) RunExits(1);
    tmReset();
    wireOverlayEnabled = false;
    tmSetLoaderOptions(WindowSetting(WindowSettingTextureOption));

    GL.glEnable(GL_TEXTURE_2D);
    GL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    WM.wmUpdate();  // the first, empty frame
    ShowSetGlState();
    LoadFont(ShowFont, "2ddata/fontset.3f");
    initFrameTexture();
    initGlowTexture();

    LoadShowData();
    auInit();

    ShowStartPlay();
    while (!ShowPlayEnds()) ShowFrame();
    profFinish();
    auDone();

    sndStopMusic();
    sndShutdown();
    WM.wmDone();
    // A capture that could not be written is a failure, whatever the show did.
    RunExits(WM.wmCaptureFailed && WM.wmCaptureFailed() ? 1 : 0);
}
