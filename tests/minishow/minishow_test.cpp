// The miniature show played whole, as a viewer would start it.
#include <gtest/gtest.h>

#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

const char* const kLayerOrder[] = {"eleje", "fadeout", "fadein", "xfade", "kek2", "kek1", "focim", "border",
                                   "credits", "kerethatul", "128alpha", "blur_8_full", "blur_4_full",
                                   "radialblur", "ketto", "csont", "greetings", "glow_sotetit", "starmap",
                                   "starmap2", "vege", "harom"};

TEST(MiniShow, TheFolderIsMadeWithoutAComplaint) {
    ShowHome home;
    ThrowOnFailure guard;
    try {
        PutMiniShow(home);
    } catch (const Failure& f) {
        FAIL() << f.message;
    }
}

TEST(MiniShow, LoadsInFortyThreeStepsAndPlaysEveryPart) {
    ShowHome home;
    PutMiniShow(home);
    ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
    ASSERT_EQ(r.code, 0) << r.err;
    // The loading titles, in order, from 2 % to 100 %.
    std::vector<std::string> titles;
    const std::string mark = ", \"embercorvinth - vexil2\"  loading : ";
    for (const std::string& l : r.trace)
        if (l.rfind("wmSetTitle(", 0) == 0 && l.find(mark) != std::string::npos)
            titles.push_back(l.substr(l.find(mark) + 2));
    ASSERT_EQ(titles.size(), 43u);
    EXPECT_EQ(titles.front(), "\"embercorvinth - vexil2\"  loading : 2 %  [----------])");
    EXPECT_EQ(titles.back(), "\"embercorvinth - vexil2\"  loading : 100 %  [##########])");
    // Each part drew when its entry was due: the frame at clock (n - 1) s
    // (its title closes it) made part n's steps, at part time 0.
    using V = std::vector<std::string>;
    const V want[9] = {
        {"clear", "scene", "stage", "depth", "particles", "particles", "layer@0", "layer@0", "layer@0", "layer@0"},
        {"clear", "stage", "depth", "layer@0", "layer@0", "layer@0", "layer@0", "layer@0", "layer@0"},
        {"clear", "full", "clear", "layer@0", "scene", "stage", "depth", "layer@0", "layer@0", "layer@0"},
        {"clear", "scene", "stage", "particles", "depth", "layer@0", "layer@0", "layer@0"},
        {"clear", "stage", "depth", "layer@512", "layer@0"},
        {"clear", "small", "scene", "copy", "stage", "depth", "layer@200", "copy", "full", "clear", "scene", "stage",
         "depth", "layer@512", "layer@1000", "layer@0", "layer@0", "layer@0"},
        {"clear", "small", "scene", "copy", "stage", "depth", "layer@500", "copy", "full", "clear", "scene", "stage",
         "depth", "layer@500", "layer@1000", "layer@0", "layer@0", "layer@0"},
        {"clear", "scene", "stage", "particles", "depth", "layer@0", "layer@0", "layer@0"},
        {"clear", "scene", "stage", "depth", "layer@0", "layer@0", "layer@0", "layer@0"},
    };
    std::vector<std::string> frame;
    int part = 0;
    bool playing = false;
    for (const std::string& l : r.trace) {
        if (l.find("\"ember!corvinth - vexil2\")") != std::string::npos) playing = true, frame.clear();
        if (!playing) continue;
        if (l.rfind("wmSetTitle(", 0) == 0 && l.find(" time:") != std::string::npos) {
            std::string t = l.substr(l.rfind(" time:") + 6);
            if (part < 9 && t == std::to_string(part * 1000) + ")") {
                V steps = want[part];
                steps.push_back("depth");  // the play loop's overlay set-up
                EXPECT_EQ(DrawingSteps(frame, 1024, 768), steps) << "part " << part + 1;
                ++part;
            }
            frame.clear();
        } else {
            frame.push_back(l);
        }
    }
    EXPECT_EQ(part, 9);
    // The layer files in their loading order, then play.
    std::vector<std::string> wanted;
    for (const char* l : kLayerOrder) wanted.push_back(std::string("[ife] load: 2ddata/") + l + ".ife");
    wanted.push_back("--- playing...");
    wanted.push_back("[exit] call : Uninit sound system ...");
    wanted.push_back("[exit]");
    EXPECT_TRUE(InOrder(r.log, wanted));
    EXPECT_EQ(CountLines(r.log, "[al] lib loaded."), 1);
    EXPECT_EQ(CountLines(r.log, "[vorbis] lib loaded."), 1);
}

TEST(MiniShow, PlaysHeadlessOnTheRealWindowManagerToTheEnd) {
    ShowHome home;
    PutMiniShow(home);
    ShowRun r = RunShow(home, {.step = 40, .args = {"--width", "320", "--height", "256"}, .timeoutSeconds = 400});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(InOrder(r.log, {"--- playing...", "[exit] --- subsystems", "[exit]"}));
}

// Each file of the show folder taken away in turn: the expected message or
// report, never a crash.
TEST(MiniShow, EachMissingFileGetsItsMessage) {
    for (const std::string& file : MiniShowFiles()) {
        ShowHome home;
        PutMiniShow(home);
        ASSERT_EQ(remove(home.path(file).c_str()), 0) << file;
        ShowRun r = RunShow(home, {.step = 1000, .recordGl = true, .fakeWm = true});
        std::string want;
        int code = 1;  // a fatal stop
        if (file.rfind("3ddata/", 0) == 0) want = "File (" + file + ") not found.";
        else if (file == "2ddata/music.ogg") want = "Music not found. ";
        else if (file.rfind("Textures/", 0) == 0) want = "Error occoured ! Texture Loader Error. ( Textures/";
        else code = 2;  // font, layer files, loudness table, timeline: run-time error 2
        if (code == 1) {
            EXPECT_EQ(r.code, 1) << file;
            bool found = false;
            for (const std::string& l : r.log) found = found || l.rfind(want, 0) == 0;
            EXPECT_TRUE(found) << file << " should log " << want;
        } else {
            EXPECT_EQ(r.code, code) << file << "\n" << r.err;
            EXPECT_NE(FindLine(r.log, "--- [backtrace] ---"), -1) << file;
        }
    }
}

TEST(MiniShow, WithoutSoundTheShowRunsSilentlyOnTheTimer) {
    ShowHome home;
    PutMiniShow(home);
    remove(home.path("2ddata/music.ogg").c_str());  // never opened without sound
    ShowRun r = RunShow(home, {.step = 1000, .args = {"--nosound"}, .recordGl = true, .fakeWm = true});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(InOrder(r.log, {"--- playing...", "[exit]"}));
}

}  // namespace
