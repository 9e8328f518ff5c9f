// The run-time error report: what a dying process leaves in its log.
#include <gtest/gtest.h>

#include "sceneconfig/sceneconfig.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

// The report of a process that died is read from a log file it wrote.
std::string g_logPath;

struct ReportTest : ::testing::Test {
    std::string dir = MakeTempDir("report");
    void SetUp() override { g_logPath = dir + "/debug.log"; }
    void TearDown() override { RemoveTree(dir); }
    std::vector<std::string> log() { return SplitLines(ReadFileText(g_logPath)); }
};

void installReport(BS_DlNode* (*list)() = nullptr) {
    Base.BS_DbgLog = [](const char* text) {
        if (FILE* f = fopen(g_logPath.c_str(), "ab")) fputs(text, f), fclose(f);
    };
    if (list) Base.BS_DlGetList = list;
    InstallErrorReport();
}

__attribute__((noinline)) void failWithIoError() { RunError(100); }

TEST_F(ReportTest, RunErrorWritesTheReportAsksForTheLogAndEndsWithItsNumber) {
    std::string out = dir + "/stdout";
    EXPECT_EXIT(
        {
            freopen(out.c_str(), "w", stdout);
            installReport();
            failWithIoError();
        },
        ::testing::ExitedWithCode(100), "Runtime error 100 at 0x");
    EXPECT_EQ(ReadFileText(out), std::string(RunErrorMessage) + "\n");
    auto lines = log();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0] + "|" + lines[1].substr(0, 23) + "|" + lines[2].substr(0, 8) + "|" + lines[3] + "|" +
                  lines.back(),
              "--- [backtrace] ---|runtime error 100 at 0x|Main: 0x|DLL list:|--- [end of backtrace] ---");
    EXPECT_EQ(lines[1].size(), 39u);
    // The modules by file name, in descending load address order (same
    // length: text order is number order); then addresses, the program's
    // own code (below every module) without annotation.
    size_t i = 4;
    for (; i < lines.size() && lines[i].rfind(" - 0x", 0) == 0; ++i) EXPECT_TRUE(i == 4 || lines[i] < lines[i - 1]);
    EXPECT_NE(std::string(ReadFileText(g_logPath)).find(" (libc.so"), std::string::npos);
    ASSERT_LT(i + 1, lines.size());
    EXPECT_EQ(lines[i] + "|" + std::to_string(lines[i + 1].size()), "Backtrace:|20");
    for (size_t k = i + 1; k + 1 < lines.size(); ++k) EXPECT_EQ(lines[k].rfind("  0x", 0), 0u) << lines[k];
}

TEST_F(ReportTest, FaultsAreErrors216And200AndAFaultInsideTheReportEnds217) {
    EXPECT_EXIT({ installReport(); *(volatile int*)nullptr = 1; }, ::testing::ExitedWithCode(216), "Runtime error 216");
    EXPECT_EQ(log().at(1).rfind("runtime error 216 at 0x", 0), 0u);
    volatile int zero = 0;
    EXPECT_EXIT({ installReport(); zero = 7 / zero; }, ::testing::ExitedWithCode(200), "");
    // The module list faults while the report walks it.
    EXPECT_EXIT({ installReport([]() -> BS_DlNode* { return (BS_DlNode*)16; }); RunError(100); },
                ::testing::ExitedWithCode(217), "");
}

BS_DlNode g_low{"low.so", 0x1000, nullptr}, g_mid{"mid.so", 0x2000, &g_low}, g_high{"high.so", 0x3000, &g_mid};

// Frames on the stack, {caller's frame, return address} each, the last one
// pointing above the stack; a return address of 0 makes no entry.
void walkFramesLeavingTheStack() {
    installReport([]() -> BS_DlNode* { return &g_high; });
    uintptr_t chain[3][2] = {{0, 0x10}, {0, 0}, {0x7ffffffff000, 0x30}};
    chain[0][0] = (uintptr_t)chain[1];
    chain[1][0] = (uintptr_t)chain[2];
    RunErrorProc(100, 0x2abc, (uintptr_t)chain[0]);
    _exit(0);
}

// Guards the frame walk leaving the main stack (a fault inside the report, which then ends with 217).
TEST_F(ReportTest, TheFrameWalkStaysOnTheMainStackAndNamesTheModuleOfEachAddress) {
    EXPECT_EXIT(walkFramesLeavingTheStack(), ::testing::ExitedWithCode(0), "");
    std::vector<std::string> entries;
    for (auto& l : log())
        if (l.rfind("  0x", 0) == 0 || l.rfind(" - ", 0) == 0) entries.push_back(l);
    EXPECT_EQ(entries, (std::vector<std::string>{" - 0x0000000000003000 (high.so)", " - 0x0000000000002000 (mid.so)",
                                                 " - 0x0000000000001000 (low.so)",
                                                 "  0x0000000000002ABC (mid.so, ofs: 0x00000ABC)",
                                                 "  0x0000000000000010", "  0x0000000000000030"}));
}

// Guards the detail printed from a reused buffer: callers pass the conversion buffer the report reuses.
TEST_F(ReportTest, EachCallersDetailIsPrintedAsGiven) {
    const struct {
        void (*fail)();
        int code;
        const char* stderrEnd;
    } cases[] = {
        {[] { Base.BS_PathGet = [](int32_t, const char*) { return "/no/such/folder/"; }, FrameSetFolders(); }, 3,
         ": cannot enter the home folder /no/such/folder/\n$"},
        {[] { tmDump(S("/dev/full")); }, 101, ": /dev/full\n$"},
        {[] { WriteSceneConfig(Scene{}, S("/no/such/folder/x.cfg")); }, 3,
         ": cannot write /no/such/folder/x.cfg: No such file or directory\n$"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT({ installReport(); c.fail(); }, ::testing::ExitedWithCode(c.code),
                    std::string("Runtime error [0-9]+ at 0x[0-9A-F]+") + c.stderrEnd);
}

}  // namespace
