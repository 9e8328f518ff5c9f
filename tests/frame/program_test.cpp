// The program as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/support.h"

namespace {

std::string Vexil2() { return ShowDir() + "/vexil2"; }

// A show folder of its own: a copy of the program, the given modules.
struct ShowFolder {
    std::string dir;
    explicit ShowFolder(bool withBase = true) {
        dir = MakeTempDir("show");
        std::string cmd = "cp '" + Vexil2() + "' '" + dir + "/vexil2'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        mkdir((dir + "/Modules").c_str(), 0755);
        if (withBase) {
            cmd = "cp '" + ModuleDir() + "/Base.so' '" + dir + "/Modules/'";
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

TEST(Program, MissingBaseModuleSaysSoAndEndsWith1) {
    ShowFolder show(false);
    RunResult r = RunProgram({show.dir + "/vexil2", "-v"});
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

TEST(Program, DebugLogLandsInTheProgramsFolderWhateverTheWorkingFolder) {
    ShowFolder show;
    RunResult r = RunProgram({show.dir + "/vexil2", "-v"});
    auto log = show.log();
    ASSERT_FALSE(log.empty()) << r.err;
    EXPECT_EQ(log.front(), "[init] --- subsystems");
    EXPECT_EQ(log.back(), "[exit]");
    EXPECT_NE(std::find(log.begin(), log.end(), "[exit] call : Release base lib ..."), log.end());
}

TEST(Program, WithoutVNoLogIsWritten) {
    ShowFolder show;
    RunProgram({show.dir + "/vexil2"});
    EXPECT_NE(access((show.dir + "/debug.log").c_str(), F_OK), 0);
}

}  // namespace
