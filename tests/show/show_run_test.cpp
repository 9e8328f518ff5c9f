// The show program run whole, headless, on a virtual clock.
#include <gtest/gtest.h>

#include "text_stage_calls.h"

#include <sys/stat.h>

#include <algorithm>

#include "player/show.h"
#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

const std::string Separator = "[init] -------------------------";
const std::string FrameTitlePrefix = "wmSetTitle(7, \"embercorvinth - vexil2\" ";

// The exit names the program registers, highest slot first, as the
// registrations themselves give them.
std::vector<std::string> ExpectedExitCalls() {
    SubsystemRegistry saved = Registry;
    Registry = SubsystemRegistry{};
    RegisterExit(S("Release base lib ..."), 0, nullptr);
    WmRegisterUnit();
    ShowRegisterUnits();
    std::vector<std::string> names;
    for (int i = 31; i >= 0; --i)
        if (Registry.exit.slot[i].inuse) names.push_back("[exit] call : " + str(Registry.exit.slot[i].name));
    Registry = saved;
    return names;
}

// The miniature show with a timeline whose one entry draws nothing (part
// numbers above 9 answer nothing), so the play loop's own calls stand alone.
std::string OnlyTimeline() { return "# start  part offset p1 p2\n" + TimelineLine(0, 10, 0, 40, 40); }
void PutQuietShow(const ShowHome& home, const std::string& timeline) {
    PutMiniShow(home, {.timeline = false});
    home.put("2ddata/timeline.cfg", timeline);
}

// Lines of the trace from the start of play on.
std::vector<std::string> PlayPart(const std::vector<std::string>& trace) {
    auto it = std::find(trace.begin(), trace.end(), "wmSetTitle(7, \"ember!corvinth - vexil2\")");
    return std::vector<std::string>(it, trace.end());
}

std::vector<std::string> FrameTitles(const std::vector<std::string>& trace) {
    std::vector<std::string> out;
    for (const std::string& l : trace)
        if (l.rfind(FrameTitlePrefix, 0) == 0) out.push_back(l.substr(FrameTitlePrefix.size(), l.size() - FrameTitlePrefix.size() - 1));
    return out;
}

TEST(ShowRun, HeadlessWithOnlyATimelinePlaysToTheEndAndLogsTheWholeRun) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto& log = r.log;
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(InOrder(log, {"[init] --- subsystems", Separator, "[init] call : Window manager ...", Separator,
                              "[init] call : GL unit ...", Separator, "[init] call : GLU unit ...",
                              "[init] --- end", "[gl] --- check extensions:"}));
    EXPECT_NE(FindLine(log, "[wm] no display: drawing offscreen (SDL offscreen driver)"), -1);
    // The seven checks, then the DXTC line, then play.
    int check = FindLine(log, "[gl] --- check extensions:");
    ASSERT_NE(check, -1);
    ASSERT_GT((int)log.size(), check + 9);
    const char* names[] = {"GL_EXT_compiled_vertex_array", "GL_EXT_texture_cube_map", "GL_ARB_multitexture",
                           "GL_ARB_texture_env_combine", "GL_ARB_texture_env_dot3", "GL_ARB_texture_compression",
                           "GL_EXT_texture_compression_s3tc"};
    for (int i = 0; i < 7; ++i) {
        std::string l = log[check + 1 + i], head = std::string("[gl] ") + names[i] + " : ";
        EXPECT_TRUE(l == head + "available" || l == head + "not available") << l;
    }
    std::string dxtc = log[check + 8];
    EXPECT_TRUE(dxtc.rfind("[gl]  supported DXTC modes (", 0) == 0 || dxtc == "[gl] DXTC : not available.") << dxtc;
    int playing = FindLine(log, "--- playing...");
    EXPECT_GT(playing, check + 8);

    // The exit run closes the log: every registered exit, highest slot first.
    int exitRun = FindLine(log, "[exit] --- subsystems");
    ASSERT_GT(exitRun, playing);
    std::vector<std::string> calls;
    for (size_t i = exitRun; i < log.size(); ++i)
        if (log[i].rfind("[exit] call : ", 0) == 0) calls.push_back(log[i]);
    EXPECT_EQ(calls, ExpectedExitCalls());
    EXPECT_EQ(log.back(), "[exit]");
    EXPECT_EQ(CountLines(log, "[exit] --- subsystems"), 1);
}

TEST(ShowRun, RealWindowManagerPresents250FramesOn1000MsSteps) {
    // The real window manager and context, the program's GL calls recorded:
    // one overlay pop per frame, after one per loading step.
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(CountLines(r.trace, "glPopMatrix()"), 43 + 250);
    EXPECT_EQ(r.log.back(), "[exit]");
}

TEST(ShowRun, StartUpSetsTheShowsGlStateAfterTheFirstEmptyFrame) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto& t = r.trace;
    // The window opener, with the extension check between the window and
    // the reads of its key table.
    EXPECT_TRUE(InOrder(t, {"wmPreInit", "wmInit(ember!corvinth - vexil2 LOADING)", "wmOptions(12, 0, 0)",
                            "wmCreateWindow(0, 0, 1024, 768, 9, ember!corvinth - vexil2 LOADING)",
                            "glGetString(GL_EXTENSIONS)", "wmOptions(8, 7, 0)", "wmOptions(11, 7, 0)"}));
    int first = FindLine(t, "glEnable(GL_TEXTURE_2D)");
    ASSERT_NE(first, -1);
    std::vector<std::string> expected = {
        "glEnable(GL_TEXTURE_2D)",
        "glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)",
        "wmUpdate",
        "glClearColor(0, 0, 0, 0)",
        "glClearDepth(1)",
        "glClearStencil(0)",
        "glEnable(GL_DEPTH_TEST)",
        "glDepthFunc(GL_LEQUAL)",
        "glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST)",
        "glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST)",
        "glEnable(GL_LIGHTING)",
        "glEnable(GL_CULL_FACE)",
        "glCullFace(GL_BACK)",
    };
    ASSERT_GE(t.size(), first + expected.size());
    EXPECT_EQ(std::vector<std::string>(t.begin() + first, t.begin() + first + expected.size()), expected);
    // The loading title comes before play's own.
    EXPECT_TRUE(InOrder(t, {"glCullFace(GL_BACK)", "wmSetTitle(7, \"ember!corvinth - vexil2\")"}));
}

TEST(ShowRun, EveryFrameSetsUpTheOverlayTitlesAndPresents) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> play = PlayPart(r.trace);
    // A frame whose part draws nothing: the close query, the overlay set-up,
    // the title, the pop and the present.
    int q = FindLine(play, "wmOptions(9, 7, 0)");
    ASSERT_NE(q, -1);
    std::vector<std::string> frame(play.begin() + q, play.begin() + std::min(play.size(), (size_t)q + 14));
    std::vector<std::string> expected = {"wmOptions(9, 7, 0)"};
    std::vector<std::string> stage = TextStageCalls();
    expected.insert(expected.end(), stage.begin(), stage.end());
    expected.insert(expected.end(),
                    {FrameTitlePrefix + "fps:0.0] v/a:on/on afps: time:0)", "glPopMatrix()", "wmUpdate"});
    EXPECT_EQ(frame, expected);
    // 250 frames, the close query before each and once more at the end.
    EXPECT_EQ(CountLines(play, "wmUpdate"), 250);
    EXPECT_EQ(CountLines(play, "wmOptions(9, 7, 0)"), 251);
    auto titles = FrameTitles(play);
    ASSERT_EQ(titles.size(), 250u);
    EXPECT_EQ(titles[1], "fps:2.0] v/a:on/on afps:2.0 time:1000");
    EXPECT_EQ(titles[2], "fps:1.0] v/a:on/on afps:1.5 time:2000");
    EXPECT_EQ(titles.back(), "fps:1.0] v/a:on/on afps:1.0 time:249000");
    // Shut-down: the window closes before the exit run unloads the module.
    EXPECT_TRUE(InOrder(play, {"wmDone", "wmUnLoad"}));
    EXPECT_EQ(CountLines(play, "MsgBox("), 0);
}

TEST(ShowRun, EscapeEndsTheShowAfterTheFrameItIsSeenIn) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    // Held from 5000 to 6000 ms of the clock: the loading (44 presented
    // frames) passes that time too, but lets go of the key before play.
    ShowRun r = RunShow(home, {.step = 1000, .env = {"VELMAR_FAKEWM_KEYS=27@5000-6000"}, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> play = PlayPart(r.trace);
    auto titles = FrameTitles(play);
    ASSERT_EQ(titles.size(), 6u);
    EXPECT_EQ(titles.back(), "fps:1.0] v/a:on/on afps:1.2 time:5000");
    EXPECT_EQ(CountLines(play, "wmUpdate"), 6);  // the Escape frame is presented
    // The quit flag ends the loop without asking the window again.
    EXPECT_EQ(CountLines(play, "wmOptions(9, 7, 0)"), 6);
    EXPECT_EQ(r.log.back(), "[exit]");
}

TEST(ShowRun, ClosingTheWindowEndsTheShowBeforeTheNextFrame) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .env = {"VELMAR_FAKEWM_CLOSE=3000"}, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    auto titles = FrameTitles(PlayPart(r.trace));
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_EQ(titles.back(), "fps:1.0] v/a:on/on afps:1.5 time:2000");
}

TEST(ShowRun, TheClockEndsTheShowEvenWithEntriesBeyond250Seconds) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline() + TimelineLine(260000, 2, 0, 40, 40));
    ShowRun r = RunShow(home, {.step = 40000, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    auto titles = FrameTitles(PlayPart(r.trace));
    // 0, 40000, ..., 240000: seven frames; 280000 is past the end.
    ASSERT_EQ(titles.size(), 7u);
    EXPECT_EQ(titles.back(), "fps:0.0] v/a:on/on afps:0.0 time:240000");
}

TEST(ShowRun, AMissingTimelineEndsInTheRunTimeErrorReport) {
    ShowHome home;
    PutMiniShow(home, {.timeline = false});
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    EXPECT_EQ(r.code, 2);
    int playing = FindLine(r.log, "--- playing...");
    ASSERT_NE(playing, -1);
    int report = FindLine(r.log, "--- [backtrace] ---", playing);
    ASSERT_NE(report, -1);
    ASSERT_GT(r.log.size(), (size_t)report + 1);
    EXPECT_EQ(r.log[report + 1].rfind("runtime error 2 at 0x", 0), 0u);
    EXPECT_NE(r.out.find("\"debug.log\""), std::string::npos);
}

// ---------------------------------------------------------------- failures

TEST(ShowRun, AMissingWindowManagerIsSaidOnStandardErrorAndEndsWith1) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .env = {"VELMAR_MODULE_WM=" + home.path("Modules/WM.so")}});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "WM not loaded, please reinstall this software.\n");  // no box without the module
    EXPECT_TRUE(InOrder(r.log, {"[init] call : Window manager ...", "WM not loaded, please reinstall this software.",
                                "[exit] --- subsystems", "[exit] call : Uninit window manager ...", "[exit]"}));
    EXPECT_EQ(FindLine(r.log, "[init] call : GL unit ..."), -1);
}

// Guards a home path cut to 255 characters: the program entered a shorter
// folder and read that one's data while its log went to the real home.
TEST(ShowRun, AHomeLongerThan255CharactersIsUsedWhole) {
    ShowHome outer, home;
    RemoveTree(home.dir);
    home.dir = outer.dir;
    while (home.dir.size() < 315) {
        home.dir += "/folder-of-a-deep-tree";
        mkdir(home.dir.c_str(), 0755);
    }
    PutMiniShow(home);
    // A decoy where the cut path points, with a font that cannot load.
    std::string cut = (home.dir + "/").substr(0, 255);
    for (size_t s = cut.find('/', outer.dir.size() + 1); s != std::string::npos; s = cut.find('/', s + 1))
        mkdir(cut.substr(0, s).c_str(), 0755);
    mkdir(cut.c_str(), 0755);
    mkdir((cut + "/2ddata").c_str(), 0755);
    WriteFile(cut + "/2ddata/fontset.3f", "not a font");
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(FindLine(r.log, "--- playing..."), -1);  // the log went to the real home, as the data came from it
}

TEST(ShowRun, AWindowThatCannotBeMadeEndsWith1WithoutAMessage) {
    for (const char* fail : {"create", "init"}) {
        ShowHome home;
        PutQuietShow(home, OnlyTimeline());
        ShowRun r = RunShow(home, {.step = 1000, .env = {std::string("VELMAR_FAKEWM_FAIL=") + fail}, .fakeWm = true});
        EXPECT_EQ(r.code, 1) << fail;
        EXPECT_EQ(CountLines(r.trace, "wmUpdate"), 0) << fail;
        for (const std::string& l : r.trace) EXPECT_NE(l.rfind("MsgBox(", 0), 0u) << fail;
        EXPECT_EQ(FindLine(r.log, "[gl] --- check extensions:"), -1) << fail;
        EXPECT_EQ(r.log.back(), "[exit]") << fail;
    }
}

TEST(ShowRun, AWindowManagerThatCannotStartIsAFatalStop) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .env = {"VELMAR_FAKEWM_FAIL=preinit"}, .fakeWm = true});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(InOrder(r.trace, {"wmPreInit", "wmDone", "MsgBox(Error during WM initialization.)", "wmUnLoad"}));
    EXPECT_TRUE(InOrder(r.log, {"Error during WM initialization.", "[exit] --- subsystems", "[exit]"}));
}

TEST(ShowRun, MissingGlLibrariesStopWithAReinstallMessage) {
    struct Case {
        std::string env, message;
    } cases[] = {
        {"VELMAR_MODULE_OPENGL32_DLL=/nonexistent/libGL.so.1",
         "OpenGL (libGL.so.1) could not be loaded. Please reinstall this software."},
        {"VELMAR_MODULE_GLU32_DLL=/nonexistent/libGLU.so.1",
         "GLU (libGLU.so.1) could not be loaded. Please reinstall this software."},
        // A library without GL's entry points.
        {"VELMAR_MODULE_OPENGL32_DLL=" + FakeWmPath(),
         "OpenGL entry point glAlphaFunc not found. Please reinstall this software."},
    };
    for (const Case& c : cases) {
        ShowHome home;
        PutQuietShow(home, OnlyTimeline());
        ShowRun r = RunShow(home, {.step = 1000, .env = {c.env}, .fakeWm = true});
        EXPECT_EQ(r.code, 1) << c.env;
        EXPECT_TRUE(InOrder(r.trace, {"wmDone", "MsgBox(" + c.message + ")", "wmUnLoad"})) << c.env;
        EXPECT_TRUE(InOrder(r.log, {c.message, "[exit] --- subsystems", "[exit]"})) << c.env;
        EXPECT_EQ(FindLine(r.log, "--- playing..."), -1);
    }
}

TEST(ShowRun, WithTheRealWindowManagerHeadlessTheBoxGoesToStandardError) {
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .env = {"VELMAR_MODULE_GLU32_DLL=/nonexistent/libGLU.so.1"}});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "GLU (libGLU.so.1) could not be loaded. Please reinstall this software.\n");
}

TEST(ShowRun, AQuitRequestEndsARunOnTheRealClock) {
    // No --step: the loop runs as fast as it can until SIGTERM turns into the
    // window manager's quit request.
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 0, .terminateAfter = "--- playing...", .timeoutSeconds = 60});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(InOrder(r.log, {"--- playing...", "[exit] --- subsystems", "[exit]"}));
}

TEST(ShowRun, UnderXvfbTheWindowOpensThroughTheDisplay) {
    if (!XvfbAvailable()) GTEST_SKIP() << "xvfb-run is not installed";
    ShowHome home;
    PutQuietShow(home, OnlyTimeline());
    ShowRun r = RunShow(home, {.step = 1000, .xvfb = true});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(FindLine(r.log, "[wm] video driver: x11"), -1);
    EXPECT_EQ(FindLine(r.log, "[wm] no display: drawing offscreen (SDL offscreen driver)"), -1);
    EXPECT_TRUE(InOrder(r.log, {"[gl] --- check extensions:", "--- playing...", "[exit]"}));
}

}  // namespace
