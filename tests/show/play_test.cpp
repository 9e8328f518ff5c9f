// The play loop's frame, in-process: a clock, keys and a window of the
// test's own, the recording GL for the drawing.
#include <gtest/gtest.h>

#include "text_stage_calls.h"
#include <sys/stat.h>
#include <unistd.h>

#include "glbind/glbind.h"
#include "player/show.h"
#include "recgl/recgl.h"
#include "render/settings.h"
#include "support/support.h"

namespace {

int32_t g_clock = 0;
int32_t g_step = 1000;
int g_updates = 0;
int g_closed = 0;
uint8_t g_keys[WM_KEY_COUNT];
std::vector<std::string> g_titles;
std::vector<std::string> g_parts;

struct PlayTest : ::testing::Test {
    BaseServices savedBase;
    void SetUp() override {
        RecglUse();
        GlBind();
        RecglReset();
        savedBase = Base;
        Base.BS_TimerGet = [] { return g_clock; };
        Base.BS_TimerReset = [] { g_clock = 0; };
        g_clock = 0, g_step = 1000, g_updates = 0, g_closed = 0;
        memset(g_keys, 0, sizeof g_keys);
        g_titles.clear();
        g_parts.clear();
        WM = WindowManagerModule{};
        WM.handle = &WM;
        WM.wmUpdate = [] {
            g_clock += g_step;
            g_updates++;
        };
        WM.wmSetTitle = [](uint32_t, const char* t) { g_titles.push_back(t); };
        WM.wmOptions = [](int32_t option, uint32_t, intptr_t) -> intptr_t {
            return option == WM_OPTION_CLOSED ? g_closed : 0;
        };
        Window = WindowState{3, nullptr, g_keys};
        Show = ShowState{};
        Show.fpstext = S("0.0");
        Show.video = true;
        anisotropyEnabled = true;
        ParseTimeline(ShowTimeline, "", 0);
    }
    void TearDown() override {
        FreeTimeline(ShowTimeline);
        for (auto& p : DemoParts) p = nullptr;
        Base = savedBase;
        WM = WindowManagerModule{};
        Window = WindowState{};
        GlUnbind();
    }
    void useTimeline(const std::string& text) {
        FreeTimeline(ShowTimeline);
        ParseTimeline(ShowTimeline, text.data(), text.size());
    }
    std::string title() const { return g_titles.empty() ? "" : g_titles.back(); }
};

std::string Entry(int start, int part, int offset, const char* p1) {
    char b[96];
    snprintf(b, sizeof b, "%-17s%6d %2d %7d %8s %7s\n", "x", start, part, offset, p1, "1.0");
    return b;
}

TEST(OneDecimal, OneDigitAfterThePointNoBlanksHalvesAwayFromZero) {
    EXPECT_EQ(str(OneDecimal(0)), "0.0");
    EXPECT_EQ(str(OneDecimal(57.25)), "57.3");
    EXPECT_EQ(str(OneDecimal(57.24)), "57.2");
    EXPECT_EQ(str(OneDecimal(2.0 / 3.0)), "0.7");
    EXPECT_EQ(str(OneDecimal(99.96)), "100.0");
    EXPECT_EQ(str(OneDecimal(1234.5678)), "1234.6");
    EXPECT_EQ(str(OneDecimal(0.05)), "0.1");
    EXPECT_EQ(str(OneDecimal(0.04)), "0.0");
}

TEST_F(PlayTest, FpsReadsZeroBeforeTheFirstSecondThenCountsFramesPerSecond) {
    g_step = 100;
    for (int i = 0; i < 10; ++i) {
        ShowFrame();
        EXPECT_EQ(str(Show.fpstext), "0.0") << "frame " << i + 1;
    }
    // Frame 10 was drawn at 900 ms: ten frames in 0.9 s on average.
    EXPECT_EQ(str(Show.afpstext), "11.1");
    ShowFrame();  // at 1000 ms: 11 frames in the first second
    EXPECT_EQ(str(Show.fpstext), "11.0");
    EXPECT_EQ(Show.lastfpsupdate, 1000);
    EXPECT_EQ(Show.fpsframes, 0);
    for (int i = 0; i < 10; ++i) ShowFrame();  // 1100 .. 2000 ms
    EXPECT_EQ(str(Show.fpstext), "10.0");
    EXPECT_EQ(Show.totalframes, 21);
    EXPECT_EQ(str(Show.afpstext), "10.5");
}

TEST_F(PlayTest, AfpsKeepsItsTextWhileTheClockReadsZero) {
    Show.afpstext = S("7.5");
    ShowFrame();  // at 0 ms
    EXPECT_EQ(str(Show.afpstext), "7.5");
    ShowFrame();  // at 1000 ms: two frames in one second
    EXPECT_EQ(str(Show.afpstext), "2.0");
}

TEST_F(PlayTest, StatusTextAndTitleEveryFrame) {
    ShowFrame();
    EXPECT_EQ(str(Show.statustext), "fps:0.0] v/a:on/on afps: time:0");
    EXPECT_EQ(title(), "\"embercorvinth - vexil2\" fps:0.0] v/a:on/on afps: time:0");
    anisotropyEnabled = false;
    Show.video = false;
    g_step = 1500;
    ShowFrame();
    EXPECT_EQ(title(), "\"embercorvinth - vexil2\" fps:2.0] v/a:off/off afps:2.0 time:1000");
    ShowFrame();  // one frame in the last 1.5 s
    EXPECT_EQ(title(), "\"embercorvinth - vexil2\" fps:0.7] v/a:off/off afps:1.2 time:2500");
    EXPECT_EQ(g_titles.size(), 3u);
    EXPECT_EQ(Show.lastframeend, 4000);  // read after the frame was presented
}

TEST_F(PlayTest, HoldingSpaceDoesNotToggleReleasingItDoesOnce) {
    ShowFrame();
    EXPECT_FALSE(Show.overlayshown);
    g_keys[WM_KEY_SPACE] = 1;
    for (int i = 0; i < 3; ++i) {
        ShowFrame();
        EXPECT_FALSE(Show.overlayshown) << "held, frame " << i;
    }
    g_keys[WM_KEY_SPACE] = 0;
    ShowFrame();
    EXPECT_TRUE(Show.overlayshown);
    ShowFrame();
    ShowFrame();
    EXPECT_TRUE(Show.overlayshown);
    g_keys[WM_KEY_SPACE] = 0x80;  // any non-zero state counts as down
    ShowFrame();
    g_keys[WM_KEY_SPACE] = 0;
    ShowFrame();
    EXPECT_FALSE(Show.overlayshown);
}

TEST_F(PlayTest, EscapeCompletesAndPresentsTheFrameItIsSeenIn) {
    ShowFrame();
    EXPECT_FALSE(ShowPlayEnds());
    g_keys[WM_KEY_ESCAPE] = 1;
    ShowFrame();
    EXPECT_TRUE(Show.quit);
    EXPECT_EQ(g_updates, 2);
    EXPECT_EQ(g_titles.size(), 2u);
    EXPECT_TRUE(ShowPlayEnds());
}

TEST_F(PlayTest, ThePlayEndsOnQuitClosedWindowOrTheEndTime) {
    EXPECT_FALSE(ShowPlayEnds());
    g_closed = 1;
    EXPECT_TRUE(ShowPlayEnds());
    g_closed = 0;
    g_clock = ShowEndTime - 1;
    EXPECT_FALSE(ShowPlayEnds());
    g_clock = ShowEndTime;
    EXPECT_TRUE(ShowPlayEnds());
    g_clock = 0;
    Show.quit = true;
    EXPECT_TRUE(ShowPlayEnds());
}

TEST_F(PlayTest, TheDuePartRunsWithTheEntrysMappingAtTheFramesClock) {
    DemoParts[1] = [](int32_t offset, float p1, float, float, float, float) {
        g_parts.push_back("part 2 at " + std::to_string(g_clock) + " offset " + std::to_string(offset) + " p1 " +
                          std::to_string((int)p1));
    };
    useTimeline(Entry(0, 12, 0, "40.0") + Entry(2000, 2, -2000, "25.0"));
    for (int i = 0; i < 4; ++i) ShowFrame();
    EXPECT_EQ(g_parts, (std::vector<std::string>{"part 2 at 2000 offset -2000 p1 25", "part 2 at 3000 offset -2000 p1 25"}));
    // Frames whose part no procedure answers draw only the overlay set-up.
    EXPECT_EQ(g_updates, 4);
}

TEST_F(PlayTest, AFrameLeavesTheMatrixStackAsItFoundIt) {
    RecglTake();
    ShowFrame();
    std::vector<std::string> lines = RecglTake();
    std::vector<std::string> expected = TextStageCalls();
    expected.push_back("glPopMatrix()");
    EXPECT_EQ(lines, expected);
}

TEST_F(PlayTest, StartOfPlayResetsTheCountersAndTheClock) {
    std::string dir = MakeTempDir("play");
    WriteFile(dir + "/timeline.cfg", Entry(0, 3, 0, "40.0"));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(mkdir((dir + "/2ddata").c_str(), 0755), 0);
    rename((dir + "/timeline.cfg").c_str(), (dir + "/2ddata/timeline.cfg").c_str());
    ASSERT_EQ(chdir(dir.c_str()), 0);
    Show.totalframes = 9, Show.fpsframes = 9, Show.lastfpsupdate = 9, Show.overlayshown = true;
    Show.fpstext = S("9.9");
    g_clock = 77777;
    LogCapture log;
    ShowStartPlay();
    EXPECT_EQ(chdir(cwd), 0);
    RemoveTree(dir);
    EXPECT_EQ(Show.totalframes, 0);
    EXPECT_EQ(Show.fpsframes, 0);
    EXPECT_EQ(Show.lastfpsupdate, 0);
    EXPECT_EQ(Show.lastframeend, 0);
    EXPECT_EQ(str(Show.fpstext), "0.0");
    EXPECT_FALSE(Show.overlayshown);
    EXPECT_TRUE(Show.video);
    EXPECT_EQ(g_clock, 0);
    EXPECT_EQ(title(), "\"ember!corvinth - vexil2\"");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"--- playing..."});
    ASSERT_EQ(ShowTimeline.count, 1);
    EXPECT_EQ(ShowTimeline.entries[0].part, 3);
}

}  // namespace
