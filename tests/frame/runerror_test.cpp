#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "sceneconfig/sceneconfig.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

// The report of a process that died is read from a log file it wrote.
std::string g_logPath;
void fileLog(const char* text) {
    FILE* f = fopen(g_logPath.c_str(), "ab");
    if (f) fputs(text, f), fclose(f);
}

struct ReportTest : ::testing::Test {
    std::string dir;
    void SetUp() override {
        dir = MakeTempDir("report");
        g_logPath = dir + "/debug.log";
    }
    void TearDown() override { RemoveTree(dir); }
    std::vector<std::string> logLines() {
        std::vector<std::string> out;
        std::string t = ReadFileText(g_logPath), cur;
        for (char c : t) {
            if (c == '\n') out.push_back(cur), cur.clear();
            else cur += c;
        }
        return out;
    }
};

__attribute__((noinline)) void failWithIoError() { RunError(100); }

TEST_F(ReportTest, RunErrorWritesTheReportAndEndsWithItsNumber) {
    EXPECT_EXIT(
        {
            Base.BS_DbgLog = fileLog;
            InstallErrorReport();
            failWithIoError();
        },
        ::testing::ExitedWithCode(100), "Runtime error 100 at 0x");
    auto lines = logLines();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "--- [backtrace] ---");
    EXPECT_EQ(lines[1].rfind("runtime error 100 at 0x", 0), 0u);
    EXPECT_EQ(lines[1].size(), std::string("runtime error 100 at 0x").size() + 16);
    EXPECT_EQ(lines[2].rfind("Main: 0x", 0), 0u);
    EXPECT_EQ(lines[3], "DLL list:");
    // The module list is in descending load address order.
    size_t i = 4;
    unsigned long prev = ~0ul;
    bool sawLibc = false;
    for (; i < lines.size() && lines[i].rfind(" - 0x", 0) == 0; ++i) {
        unsigned long a = strtoul(lines[i].c_str() + 5, nullptr, 16);
        EXPECT_LT(a, prev);
        prev = a;
        sawLibc = sawLibc || lines[i].find("(libc.so") != std::string::npos;
    }
    EXPECT_TRUE(sawLibc);
    ASSERT_LT(i, lines.size());
    EXPECT_EQ(lines[i], "Backtrace:");
    EXPECT_EQ(lines.back(), "--- [end of backtrace] ---");
    // Every entry is an address text; the program's own code (below every
    // module) has no annotation.
    for (size_t k = i + 1; k + 1 < lines.size(); ++k) EXPECT_EQ(lines[k].rfind("  0x", 0), 0u) << lines[k];
    EXPECT_EQ(lines[i + 1].size(), 20u) << lines[i + 1];
}

TEST_F(ReportTest, TheUserIsAskedForTheLogOnStandardOutput) {
    EXPECT_EQ(strlen(RunErrorMessage), 181u);
    std::string out = dir + "/stdout";
    EXPECT_EXIT(
        {
            freopen(out.c_str(), "w", stdout);
            Base.BS_DbgLog = fileLog;
            InstallErrorReport();
            RunError(2);
        },
        ::testing::ExitedWithCode(2), "");
    EXPECT_EQ(ReadFileText(out), std::string(RunErrorMessage) + "\n");
}

TEST_F(ReportTest, WithoutTheLogOnlyTheMessageIsWritten) {
    std::string out = dir + "/stdout";
    EXPECT_EXIT(
        {
            freopen(out.c_str(), "w", stdout);
            Base.BS_DbgLog = nullptr;
            InstallErrorReport();
            RunError(5);
        },
        ::testing::ExitedWithCode(5), "");
    EXPECT_EQ(ReadFileText(out), std::string(RunErrorMessage) + "\n");
}

TEST_F(ReportTest, AccessViolationIsError216) {
    EXPECT_EXIT(
        {
            Base.BS_DbgLog = fileLog;
            InstallErrorReport();
            volatile int* p = nullptr;
            *p = 1;
        },
        ::testing::ExitedWithCode(216), "Runtime error 216");
    auto lines = logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("runtime error 216 at 0x", 0), 0u);
}

TEST_F(ReportTest, IntegerDivisionByZeroIsError200) {
    EXPECT_EXIT(
        {
            InstallErrorReport();
            volatile int a = 7;
            volatile int z = 0;
            volatile int r = a / z;
            (void)r;
        },
        ::testing::ExitedWithCode(200), "");
}

TEST_F(ReportTest, AnErrorInsideTheReportEndsWith217) {
    EXPECT_EXIT(
        {
            Base.BS_DbgLog = fileLog;
            InstallErrorReport();
            // The module list faults while the report walks it.
            Base.BS_DlGetList = []() -> BS_DlNode* { return (BS_DlNode*)16; };
            RunError(100);
        },
        ::testing::ExitedWithCode(217), "");
    auto lines = logLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], "DLL list:");
}

TEST_F(ReportTest, MissingModuleListGoesStraightToTheBacktrace) {
    EXPECT_EXIT(
        {
            Base.BS_DbgLog = fileLog;
            Base.BS_DlGetList = []() -> BS_DlNode* { return nullptr; };
            InstallErrorReport();
            RunError(103);
        },
        ::testing::ExitedWithCode(103), "");
    auto lines = logLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[3], "DLL list:");
    EXPECT_EQ(lines[4], "Backtrace:");
    for (auto& l : lines) EXPECT_EQ(l.find("ofs:"), std::string::npos);
}

// A frame chain built on the stack: each frame is {caller's frame, return}.
TEST_F(ReportTest, FrameWalkStopsAfter65Frames) {
    EXPECT_EXIT(
        {
            Base.BS_DbgLog = fileLog;
            Base.BS_DlGetList = []() -> BS_DlNode* { return nullptr; };
            InstallErrorReport();
            uintptr_t chain[100][2];
            for (int k = 0; k < 100; ++k) {
                chain[k][0] = k + 1 < 100 ? (uintptr_t)chain[k + 1] : 0;
                chain[k][1] = 0x1000 + k;
            }
            RunErrorProc(100, 0, (uintptr_t)chain[0]);
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    auto lines = logLines();
    int entries = 0;
    for (auto& l : lines) entries += l.rfind("  0x", 0) == 0;
    EXPECT_EQ(entries, 65);  // error address 0 writes no entry of its own
}

TEST_F(ReportTest, FrameWalkStopsAtAFrameThatDoesNotLieAbove) {
    EXPECT_EXIT(
        {
            Base.BS_DbgLog = fileLog;
            Base.BS_DlGetList = []() -> BS_DlNode* { return nullptr; };
            InstallErrorReport();
            uintptr_t chain[4][2];
            chain[0][0] = (uintptr_t)chain[1];
            chain[0][1] = 0x10;
            chain[1][0] = (uintptr_t)chain[2];
            chain[1][1] = 0;  // no entry for 0
            chain[2][0] = (uintptr_t)chain[0];  // points back down
            chain[2][1] = 0x30;
            chain[3][0] = 0;
            chain[3][1] = 0x40;
            RunErrorProc(100, 0x99, (uintptr_t)chain[0]);
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    std::vector<std::string> entries;
    for (auto& l : logLines())
        if (l.rfind("  0x", 0) == 0) entries.push_back(l);
    EXPECT_EQ(entries, (std::vector<std::string>{"  0x0000000000000099", "  0x0000000000000010",
                                                 "  0x0000000000000030"}));
}

TEST(ModuleLookup, FindsTheModuleBelowTheAddress) {
    BS_DlNode c{"low.so", 0x1000, nullptr}, b{"mid.so", 0x2000, &c}, a{"high.so", 0x3000, &b};
    ModuleHit h = LookupModule(&a, 0x2500);
    EXPECT_STREQ(h.name, "mid.so");
    EXPECT_EQ(h.offset, 0x500u);
    h = LookupModule(&a, 0x1004);
    EXPECT_STREQ(h.name, "low.so");
    EXPECT_EQ(h.offset, 4u);
    EXPECT_STREQ(LookupModule(&a, 0x3500).name, "");  // above the first node
    EXPECT_STREQ(LookupModule(&a, 0x0800).name, "");  // below every module
    EXPECT_STREQ(LookupModule(nullptr, 0x2500).name, "");
}

TEST_F(ReportTest, EntriesInsideAModuleCarryItsNameAndOffset) {
    static BS_DlNode c{"low.so", 0x1000, nullptr}, b{"mid.so", 0x2000, &c}, a{"high.so", 0x3000, &b};
    EXPECT_EXIT(
        {
            Base.BS_DbgLog = fileLog;
            Base.BS_DlGetList = []() -> BS_DlNode* { return &a; };
            InstallErrorReport();
            RunErrorProc(216, 0x2abc, 0);
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    auto lines = logLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), " - 0x0000000000002000 (mid.so)"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  0x0000000000002ABC (mid.so, ofs: 0x00000ABC)"), lines.end());
}

// Guards the report printing freed memory: the callers hand over text from
// the shared conversion buffer, which the report's own log lines reuse.
TEST_F(ReportTest, EachCallersDetailIsPrintedAsGiven) {
    const struct {
        void (*fail)();
        int code;
        const char* stderrEnd;
    } cases[] = {
        {[] {
             Base.BS_PathGet = [](int32_t kind, const char*) -> const char* {
                 return kind == 1 ? "/no/such/folder/" : "/tmp";
             };
             FrameSetFolders();
         },
         3, ": cannot enter the home folder /no/such/folder/\n$"},
        {[] { tmDump(S("/dev/full")); }, 101, ": /dev/full\n$"},
        {[] {
             Scene s{};
             WriteSceneConfig(s, S("/no/such/folder/x.cfg"));
         },
         3, ": cannot write /no/such/folder/x.cfg: No such file or directory\n$"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(
            {
                Base.BS_DbgLog = fileLog;
                InstallErrorReport();
                c.fail();
            },
            ::testing::ExitedWithCode(c.code), std::string("Runtime error [0-9]+ at 0x[0-9A-F]+") + c.stderrEnd);
}

}  // namespace
