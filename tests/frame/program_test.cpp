// The program as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/minishow.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

std::string Vexil2() { return ShowDir() + "/vexil2"; }

// A show folder of its own: a copy of the program and, unless asked not
// to, of every module.
struct ShowFolder {
    std::string dir;
    explicit ShowFolder(bool withModules = true) {
        dir = MakeTempDir("show");
        std::string cmd = "cp '" + Vexil2() + "' '" + dir + "/vexil2'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        mkdir((dir + "/Modules").c_str(), 0755);
        if (withModules) {
            cmd = "cp '" + ModuleDir() + "/'*.so '" + dir + "/Modules/'";
            EXPECT_EQ(system(cmd.c_str()), 0);
        }
    }
    ~ShowFolder() { RemoveTree(dir); }
    std::vector<std::string> log() const {
        std::vector<std::string> out;
        std::string t = ReadFileText(dir + "/debug.log"), cur;
        for (char c : t) {
            if (c == '\n') out.push_back(cur), cur.clear();
            else cur += c;
        }
        return out;
    }
};

// The modules beside the copy, not the ones the tests point at.
const std::vector<std::string> kOwnModules = {"VELMAR_MODULE_BASE=", "ALSOFT_DRIVERS=null", "DISPLAY=",
                                              "WAYLAND_DISPLAY="};

TEST(Program, MissingBaseModuleSaysSoAndEndsWith1) {
    ShowFolder show(false);
    RunResult r = RunProgram({show.dir + "/vexil2", "-v"}, kOwnModules);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "error... Modules/Base.so not found ...\n");
}

TEST(Program, HelpAndVersionPrintAndEndWith0) {
    RunResult r = RunProgram({Vexil2(), "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("--step MS"), std::string::npos);
    r = RunProgram({Vexil2(), "--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("vexil2 ", 0), 0u);
}

TEST(Program, MalformedNumbersAreRefusedUpFront) {
    RunResult r = RunProgram({Vexil2(), "--width", "wide"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--width"), std::string::npos);
    r = RunProgram({Vexil2(), "--step", "0"});
    EXPECT_EQ(r.code, 2);
    r = RunProgram({Vexil2(), "--step"});
    EXPECT_EQ(r.code, 2);
}

TEST(Program, TheShowFolderIsRelocatableAndKeepsItsLogBesideTheProgram) {
    ShowFolder show;
    ShowHome data;
    PutMiniShow(data);
    std::string cmd = "cp -r '" + data.dir + "/'* '" + show.dir + "/'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    RunResult r = RunProgram({show.dir + "/vexil2", "-v", "--step", "1000", "--width", "320", "--height", "256"},
                             kOwnModules);
    EXPECT_EQ(r.code, 0) << r.err;
    auto log = show.log();
    ASSERT_FALSE(log.empty()) << r.err;
    EXPECT_EQ(log.front(), "[init] --- subsystems");
    EXPECT_EQ(log.back(), "[exit]");
    EXPECT_NE(std::find(log.begin(), log.end(), "[exit] call : Release base lib ..."), log.end());
}

TEST(Program, WithoutVNoLogIsWritten) {
    ShowFolder show;
    RunResult r = RunProgram({show.dir + "/vexil2"}, kOwnModules);
    EXPECT_EQ(r.code, 2);  // no show data: the font is not there
    EXPECT_NE(access((show.dir + "/debug.log").c_str(), F_OK), 0);
}

}  // namespace
