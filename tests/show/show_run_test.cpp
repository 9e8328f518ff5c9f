// The show program run whole, headless, on a virtual clock: the play loop,
// the miniature show from start to end, the frame-time report (--profile).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <thread>
#include <tuple>

#include "player/profile.h"
#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

const std::string PlayTitle = "wmSetTitle(7, \"ember!corvinth - vexil2\")";

// The miniature show with a timeline whose one entry draws nothing (part
// numbers above 9 answer nothing), so the play loop's own calls stand alone.
ShowRun RunQuietShow(const ShowRunOptions& options, const std::string& moreTimeline = "") {
    ShowHome home;
    PutMiniShow(home, {.timeline = false});
    home.put("2ddata/timeline.cfg", TimelineLine(0, 10, 0, 40, 40) + moreTimeline);
    return RunShow(home, options);
}

// From the start of play on: the "time:" of each frame's title, and the
// counts of presents, close queries and message boxes.
std::string Frames(const std::vector<std::string>& trace) {
    std::string times;
    int presents = 0, queries = 0, boxes = 0;
    for (size_t i = std::max(0, FindLine(trace, PlayTitle)); i < trace.size(); ++i) {
        const std::string& l = trace[i];
        if (size_t t = l.rfind(" time:"); l.starts_with("wmSetTitle(") && t != std::string::npos)
            times += l.substr(t + 6, l.size() - t - 7) + " ";
        presents += l == "wmUpdate", queries += l == "wmOptions(9, 7, 0)", boxes += l.starts_with("MsgBox(");
    }
    return times + std::to_string(presents) + " presents " + std::to_string(queries) + " queries " +
           std::to_string(boxes) + " boxes";
}

TEST(ShowRun, StartUpSetsTheGlStateThenEveryFrameSetsUpTheOverlayAndPresents) {
    ShowRun r = RunQuietShow({.step = 1000, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto& t = r.trace;
    // The loading title, the first, empty frame, the GL state.
    EXPECT_NE(FindLine(t, "wmInit(ember!corvinth - vexil2 LOADING)"), -1);
    const std::vector<std::string> start = {
        "glEnable(GL_TEXTURE_2D)", "glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)", "wmUpdate",
        "glClearColor(0, 0, 0, 0)", "glClearDepth(1)", "glClearStencil(0)", "glEnable(GL_DEPTH_TEST)",
        "glDepthFunc(GL_LEQUAL)", "glHint(GL_POLYGON_SMOOTH_HINT, GL_NICEST)",
        "glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST)", "glEnable(GL_LIGHTING)", "glEnable(GL_CULL_FACE)",
        "glCullFace(GL_BACK)"};
    int first = FindLine(t, start[0]), q = FindLine(t, "wmOptions(9, 7, 0)", FindLine(t, PlayTitle, first));
    ASSERT_TRUE(first > 0 && q > first && q + 14 < (int)t.size());
    EXPECT_EQ(std::vector<std::string>(t.begin() + first, t.begin() + first + start.size()), start);
    // A frame whose part draws nothing: the close query, the overlay set-up
    // (depth cleared, lighting and culling off, texture and projection
    // identity, modelview pushed and identity), the title, pop and present.
    EXPECT_EQ(std::vector<std::string>(t.begin() + q, t.begin() + q + 14),
              (std::vector<std::string>{"wmOptions(9, 7, 0)", "glClear(GL_DEPTH_BUFFER_BIT)", "glDisable(GL_LIGHTING)",
                                        "glDisable(GL_CULL_FACE)", "glMatrixMode(GL_TEXTURE)", "glLoadIdentity()",
                                        "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()", "glMatrixMode(GL_MODELVIEW)",
                                        "glPushMatrix()", "glLoadIdentity()",
                                        "wmSetTitle(7, \"embercorvinth - vexil2\" fps:0.0] v/a:on/on afps: time:0)",
                                        "glPopMatrix()", "wmUpdate"}));
    // The close query before each of the 250 frames and once more; the
    // window closes before the exit run unloads the module.
    std::string times;
    for (int k = 0; k < 250; ++k) times += std::to_string(k * 1000) + " ";
    EXPECT_EQ(Frames(t), times + "250 presents 251 queries 0 boxes");
    EXPECT_TRUE(InOrder(t, {PlayTitle, "wmDone", "wmUnLoad"}));
    // Without --profile the GL is never asked to finish and nothing is said.
    EXPECT_EQ(CountLines(t, "glFinish()"), 0);
    EXPECT_EQ(r.out, "");
}

// Escape ends the show after the frame it is seen in (that frame is
// presented, the window is not asked again); closing the window ends it
// before the next frame; the clock ends it at 250 s whatever the timeline.
TEST(ShowRun, EscapeTheCloseButtonOrTheClockEndTheShow) {
    const std::tuple<std::string, std::string, int, const char*> cases[] = {  // env, more timeline, step, frames
        // Held from 5000 to 6000 ms: the loading (44 frames) passes that
        // time too, but lets go of the key before play.
        {"VELMAR_FAKEWM_KEYS=27@5000-6000", "", 1000, "0 1000 2000 3000 4000 5000 6 presents 6 queries 0 boxes"},
        {"VELMAR_FAKEWM_CLOSE=3000", "", 1000, "0 1000 2000 3 presents 4 queries 0 boxes"},
        {"", TimelineLine(260000, 2, 0, 40, 40), 40000,
         "0 40000 80000 120000 160000 200000 240000 7 presents 8 queries 0 boxes"},
    };
    for (const auto& [env, timeline, step, frames] : cases) {
        ShowRun r = RunQuietShow({.step = step, .env = {env}, .recordGl = true, .fakeWm = true}, timeline);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(Frames(r.trace), frames) << env;
        EXPECT_EQ(r.log.back(), "[exit]");
    }
}

// --start moves the start of play; with --author the keys jump (clamped
// at 0), pause (a jump while paused stays paused), go to a part's first
// entry and loop the current entry; without it only Escape acts.
TEST(ShowRun, AuthorKeysJumpPauseAndLoopTheClockOnlyInAuthorMode) {
    const std::string keys = "VELMAR_FAKEWM_KEYS=39#1-2,37#2-3,53#3-4,80#4-5,40#6-7,80#7-8,76#9-10,76#13-14,"
                             "38#15-16,36#17-18,27#18";
    const std::string timeline = TimelineLine(4000, 5, 0, 40, 40) + TimelineLine(6000, 10, 0, 40, 40);
    std::string plain;
    for (int t = 3000; t <= 21000; t += 1000) plain += std::to_string(t) + " ";
    const std::tuple<std::vector<std::string>, std::string> cases[] = {
        {{"--start", "3000", "--author"},
         "3000 5000 5000 4000 5000 5000 0 0 1000 2000 3000 0 1000 2000 3000 14000 15000 0 1000 19 presents 19 "
         "queries 0 boxes"},
        {{"--start", "3000"}, plain + "19 presents 19 queries 0 boxes"},
    };
    for (const auto& [args, frames] : cases) {
        ShowRun r = RunQuietShow({.step = 1000, .args = args, .env = {keys}, .recordGl = true, .fakeWm = true},
                                 timeline);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(Frames(r.trace), frames) << args.size();
        std::vector<std::string> said;
        for (const std::string& l : r.log)
            if (l.starts_with("[author] ") || l.starts_with("[play] ")) said.push_back(l);
        std::vector<std::string> want = {"[play] from 3000 ms"};
        if (args.size() == 3)
            want = {"[author] on", "[play] from 3000 ms", "[author] seek 5000", "[author] seek 5000",
                    "[author] seek 4000", "[author] pause 5000", "[author] seek 0", "[author] resume 0",
                    "[author] loop 0-4000", "[author] seek 0", "[author] loop off", "[author] seek 14000",
                    "[author] seek 0"};
        EXPECT_EQ(said, want);
    }
}

// --watch: a layer file saved (written, then renamed over) is loaded again
// while the show plays on its real clock; a broken save is refused and the
// show goes on until it is asked to end.
TEST(ShowRun, WatchedFilesAreReloadedWhileTheShowPlaysAndABrokenOneIsRefused) {
    ShowHome home;
    PutMiniShow(home, {.timeline = false});
    home.put("2ddata/timeline.cfg", TimelineLine(0, 10, 0, 40, 40));
    const std::string failed = "[author] reload failed: 2ddata/eleje.ife: run-time error 106: \"x\" is an invalid integer";
    auto waitFor = [&](const std::string& line) {
        for (int i = 0; i < 3000 && FindLine(SplitLines(ReadFileText(home.path("debug.log"))), line) < 0; ++i)
            usleep(10000);
    };
    std::thread author([&] {
        waitFor("[author] on, watching 2ddata/, 3ddata/, Textures/");
        home.put("2ddata/eleje.tmp", ReadFileText(home.path("2ddata/border.ife")));
        rename(home.path("2ddata/eleje.tmp").c_str(), home.path("2ddata/eleje.ife").c_str());
        waitFor("[author] reload 2ddata/eleje.ife");
        home.put("2ddata/eleje.ife", "x\n");
    });
    ShowRun r = RunShow(home, {.step = 0, .args = {"--author", "--watch", "--width", "160", "--height", "120"},
                               .terminateAfter = failed, .timeoutSeconds = 60});
    author.join();
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(InOrder(r.log, {"[ife] load: 2ddata/eleje.ife", "--- playing...",
                                "[author] reload 2ddata/eleje.ife", failed, "[exit]"}));
    EXPECT_NE(r.err.find("vexil2: reload failed: 2ddata/eleje.ife: "), std::string::npos);
}

// Author and segment options the program refuses before anything starts.
TEST(ShowRun, MalformedAuthorAndSegmentOptionsAreRefusedWith2) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--start", "250001"}, "vexil2: --start wants a show time in ms from 0 to 250000, not \"250001\"\n"},
        {{"--start", "-5"}, "vexil2: --start wants a show time in ms from 0 to 250000, not \"-5\"\n"},
        {{"--start", "1e3"}, "vexil2: --start wants a show time in ms from 0 to 250000, not \"1e3\"\n"},
        {{"--watch"}, "vexil2: --watch goes with --author\n"},
        {{"--author", "--capture", "x.mp4"},
         "vexil2: --author cannot be given with --capture: a capture plays the show straight through\n"},
        {{"--from", "1000"}, "vexil2: --from and --to go with --capture, --shots or --contact-sheet\n"},
        {{"--capture", "x.mp4", "--from", "1000", "--to", "1000"},
         "vexil2: --to must lie after --from (0 without it)\n"},
        {{"--capture", "x.mp4", "--to", "5", "--start", "3"},
         "vexil2: --from already says where the capture begins: give it instead of --start\n"},
        {{"--sound-only", "--shots", "d", "--at", "1"}, "vexil2: --sound-only goes with --capture\n"},
    };
    for (const auto& [args, err] : cases) {
        ShowRun r = RunQuietShow({.step = 0, .args = args, .fakeWm = true});
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_EQ(r.err, err);
    }
}

// Without a window the show ends with 1: quietly when none can be made.
TEST(ShowRun, WithoutAWindowTheShowEndsWith1) {
    const std::pair<std::string, std::string> cases[] = {
        // Guards a missing window manager: said on standard error, as no box can be shown.
        {"VELMAR_MODULE_WM=/nonexistent/WM.so", "WM not loaded, please reinstall this software.\n"},
        {"VELMAR_FAKEWM_FAIL=create", ""},
        {"VELMAR_FAKEWM_FAIL=init", ""}};
    for (const auto& [env, err] : cases) {
        ShowRun r = RunQuietShow({.step = 1000, .env = {env}, .fakeWm = true});
        EXPECT_EQ(r.code, 1) << env;
        EXPECT_EQ(r.err, err) << env;
        EXPECT_EQ(Frames(r.trace), "0 presents 0 queries 0 boxes") << env;
        EXPECT_EQ(FindLine(r.log, "[gl] --- check extensions:"), -1) << env;
        std::string said = err.empty() ? "[init] --- end" : err.substr(0, err.size() - 1);
        EXPECT_TRUE(InOrder(r.log, {said, "[exit] --- subsystems"})) << env;
        EXPECT_EQ(r.log.back(), "[exit]") << env;
    }
}

// Guards a home path cut at 255 characters (the data read from a shorter folder, the log in the real one).
TEST(ShowRun, AHomeLongerThan255CharactersIsUsedWhole) {
    ShowHome outer, home;
    RemoveTree(home.dir);
    home.dir = outer.dir;
    while (home.dir.size() < 315) mkdir((home.dir += "/folder-of-a-deep-tree").c_str(), 0755);
    PutMiniShow(home);
    // A decoy where the cut path points, with a font that cannot load.
    std::string cut = home.dir.substr(0, 255);
    mkdir(cut.c_str(), 0755);
    mkdir((cut + "/2ddata").c_str(), 0755);
    WriteFile(cut + "/2ddata/fontset.3f", "not a font");
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(FindLine(r.log, "--- playing..."), -1);  // the log went to the real home, as the data came from it
}

TEST(ShowRun, UnderXvfbTheWindowOpensThroughTheDisplay) {
    if (!XvfbAvailable()) GTEST_SKIP() << "xvfb-run is not installed";
    ShowRun r = RunQuietShow({.step = 1000, .xvfb = true});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(InOrder(r.log, {"[wm] video driver: x11", "[gl] --- check extensions:", "--- playing...", "[exit]"}));
    EXPECT_EQ(FindLine(r.log, "[wm] no display: drawing offscreen (SDL offscreen driver)"), -1);
}

// Medians of even and odd counts, the nearest-rank 99th percentile (the
// 100th of 101 values), the slowest frames with ties in frame order.
TEST(ProfileFigures, TheSummaryHasTheShowEachPartAndTheTenSlowestFrames) {
    const std::string header = "draw_ms   frames    median       p99       max\n";
    EXPECT_EQ(profSummary({}), header + "show           0      0.00      0.00      0.00\nslowest frames:\n");
    std::vector<ProfileFrame> frames;
    for (int i = 1; i <= 104; ++i)  // two frames without a part, 101 of part 3, one of part 7
        frames.push_back({i, (i - 1) * 100, i <= 2 ? 0 : i <= 103 ? 3 : 7, i <= 2 ? -1 : i <= 103 ? 2 : 5,
                          i <= 2 ? i : i <= 103 ? i - 2.0 : 101.0, 0.5});
    std::string summary = profSummary(frames);
    EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 16);
    EXPECT_EQ(summary.substr(0, summary.find("  frame 101 ")),
              header + R"(show         104     50.50    101.00    101.00
no part        2      1.50      2.00      2.00
part 3       101     51.00    100.00    101.00
part 7         1    101.00    101.00    101.00
slowest frames:
  frame 103  show 10200 ms  part 3  entry 2  draw 101.00 ms  present 0.50 ms
  frame 104  show 10300 ms  part 7  entry 5  draw 101.00 ms  present 0.50 ms
  frame 102  show 10100 ms  part 3  entry 2  draw 100.00 ms  present 0.50 ms
)");
    EXPECT_TRUE(summary.ends_with("  frame 95  show 9400 ms  part 3  entry 2  draw 93.00 ms  present 0.50 ms\n"));
}

TEST(ProfileRun, EachPresentedFrameIsALineMeasuredAfterTheGlFinishes) {
    ShowHome home;
    PutMiniShow(home);
    std::string csv = home.path("frames.csv");
    ShowRun r = RunShow(home, {.step = 1000, .args = {"--profile", csv}, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    // The miniature timeline: part n from (n - 1) s on, part 9 to the end;
    // the times in ms with three decimals.
    std::string want = "frame,show_ms,part,entry,draw_ms,present_ms\n";
    for (int k = 1, part = 1; k <= 250; ++k, part = std::min(k, 9))
        want += std::to_string(k) + "," + std::to_string((k - 1) * 1000) + "," + std::to_string(part) + "," +
                std::to_string(part - 1) + ",t,t\n";
    EXPECT_EQ(std::regex_replace(ReadFileText(csv), std::regex("[0-9]+\\.[0-9]{3}"), "t"), want);
    // The GL finishes each frame right before it is presented. The frame at
    // 4000 ms (its title closes it) runs part 5 at part time 0.
    int finishes = 0;
    for (size_t i = 1; i < r.trace.size(); ++i) finishes += r.trace[i] == "wmUpdate" && r.trace[i - 1] == "glFinish()";
    EXPECT_EQ(CountLines(r.trace, "glFinish()"), 250);
    EXPECT_EQ(finishes, 250);
    auto title = [&](int ms) {
        auto due = [&](const std::string& l) { return l.ends_with(" time:" + std::to_string(ms) + ")"); };
        return std::find_if(r.trace.begin(), r.trace.end(), due);
    };
    EXPECT_EQ(DrawingSteps(std::vector<std::string>(title(3000), title(4000)), 1024, 768),
              "clear stage depth greetings@0 border@0 depth");
    std::vector<std::string> out = SplitLines(r.out);
    ASSERT_EQ(out.size(), 1u + 1 + 1 + 9 + 1 + 10);
    EXPECT_EQ(out[0], "profile: 250 frames written to " + csv);
    EXPECT_EQ(out[2].substr(0, 16) + out[3].substr(0, 16) + out[11].substr(0, 16) + out[12],
              "show         250part 1         1part 9       242slowest frames:");
}

TEST(ProfileRun, AFileThatCannotBeWrittenIsRefusedBeforeTheShowStarts) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--profile", "/nonexistent/folder/p.csv"},
         "vexil2: cannot write the profile /nonexistent/folder/p.csv: No such file or directory\n"},
        {{"--profile="}, "vexil2: --profile needs a file name\n"},
        {{"--profile"}, "vexil2: --profile needs a value (see --help)\n"},
    };
    ShowHome home;
    PutMiniShow(home);
    for (const auto& [args, err] : cases) {
        ShowRun r = RunShow(home, {.step = 1000, .args = args, .fakeWm = true});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(FindLine(r.log, "[init] --- subsystems"), -1);
    }
}

TEST(MiniShow, PlaysHeadlessOnTheRealWindowManagerToTheEndAndLogsTheWholeRun) {
    ShowHome home;
    PutMiniShow(home);
    ShowRun r = RunShow(home, {.step = 40, .args = {"--width", "320", "--height", "256"}, .timeoutSeconds = 400});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Start-up, the layer files in their loading order, play, then the exit
    // run closing the log: every registered exit, highest slot first.
    std::vector<std::string> wanted = {"[init] --- subsystems", "[init] call : Window manager ...",
                                       "[wm] no display: drawing offscreen (SDL offscreen driver)",
                                       "[init] call : GL unit ...", "[init] call : GLU unit ...", "[init] --- end",
                                       "[gl] --- check extensions:"};
    std::vector<std::string> files = MiniShowFiles();
    for (auto f = files.end() - 22; f != files.end(); ++f) wanted.push_back("[ife] load: " + *f);
    wanted.insert(wanted.end(), {"--- playing...", "[exit] --- subsystems"});
    for (const char* n : {"Uninit sound system", "Uninit Vorbis", "Uninit OpenAL", "Uninit texture loader",
                          "Uninit GLU unit", "GL unit", "Uninit window manager", "Release base lib"})
        wanted.push_back(std::string("[exit] call : ") + n + " ...");
    EXPECT_TRUE(InOrder(r.log, wanted));
    EXPECT_EQ(r.log.back(), "[exit]");
    EXPECT_EQ(CountLines(r.log, "[al] lib loaded."), 1);
    EXPECT_EQ(CountLines(r.log, "[vorbis] lib loaded."), 1);
}

// Each file of the show folder taken away in turn: the expected message or
// report, never a crash. Without sound the music is never opened.
TEST(MiniShow, EachMissingFileGetsItsMessage) {
    for (const std::string& file : MiniShowFiles()) {
        ShowHome home;
        PutMiniShow(home);
        ASSERT_EQ(remove(home.path(file).c_str()), 0) << file;
        ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
        // A fatal stop's message; for the font, layer files, loudness table and
        // timeline run-time error 2: its report in the log, its name on stdout.
        std::string want = file.starts_with("3ddata/")    ? "File (" + file + ") not found."
                           : file == "2ddata/music.ogg"   ? "Music not found. "
                           : file.starts_with("Textures/") ? "Error occoured ! Texture Loader Error. ( Textures/"
                                                           : "runtime error 2 at 0x";
        auto said = std::find_if(r.log.begin(), r.log.end(), [&](auto& l) { return l.starts_with(want); });
        bool error = want.starts_with("runtime");
        EXPECT_EQ(r.code, error ? 2 : 1) << file << "\n" << r.err;
        EXPECT_TRUE(said > r.log.begin() && (!error || said[-1] == "--- [backtrace] ---")) << file;
        EXPECT_EQ(r.out.find("\"debug.log\"") != std::string::npos, error) << file;
        if (file == "2ddata/music.ogg") {
            r = RunShow(home, {.step = 1000, .args = {"--nosound"}, .recordGl = true, .fakeWm = true});
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_TRUE(InOrder(r.log, {"--- playing...", "[exit]"}));
        }
    }
}

}  // namespace
