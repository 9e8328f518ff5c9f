// The Base module's services (its code linked into the test program), the
// subsystem registry, and the program's start.
#include <gtest/gtest.h>

#include "support/showrun.h"
#include "support/support.h"

extern "C" size_t BS_MemLabelBytes(const char* label);
extern "C" void BS_TimerStep(void);
extern "C" void BS_BaseDone(void);
extern "C" int32_t BS_TimerResets(void);

namespace {

struct BaseModule : ::testing::Test {
    void TearDown() override { BindLinkedBase(); }
};

TEST_F(BaseModule, TheCommandLineGoesIntoTheStoreDashVLogsIntoHomeAndMemoryIsTrackedByLabel) {
    std::string dir = MakeTempDir("cfg");
    WriteFile(dir + "/debug.log", "an older run\n");
    BindLinkedBase({"-v", "--home", dir, "--width", "700", "--height=600", "--nosound", "extra", "--width", "800"});
    const char* want[][2] = {{"--width", "800"}, {"--height", "600"}, {"--nosound", "1"}, {"-v", "1"},
                             {"arg", "extra"},   {"--fullscreen", nullptr}};
    for (auto [key, value] : want) EXPECT_STREQ(Base.BS_CfgGet(key), value) << key;
    EXPECT_STREQ(Base.BS_CfgGet("cmdline"),
                 ("tests -v --home " + dir + " --width 700 --height=600 --nosound extra --width 800").c_str());
    EXPECT_EQ(std::string(Base.BS_PathGet(1, "x")), dir + "/x");
    Base.BS_DbgLog("[test] first line\n");
    size_t total = Base.BS_MemTotal();
    void* p = Base.BS_MemGet(123, "dump test block");
    void* q = Base.BS_MemGet(7, "dump test block");
    EXPECT_EQ(BS_MemLabelBytes("dump test block") + (uintptr_t)p % 16, 130u);  // aligned to 16
    Base.BS_MemDump();
    for (void** block : {&p, &p, &q}) Base.BS_MemFree(block);  // freeing nothing is harmless
    EXPECT_EQ(Base.BS_MemTotal() - total + (size_t)p, 0u);
    BS_BaseDone();
    Base.BS_DbgLog("[exit]\n");  // accepted after BS_BaseDone
    std::string log = ReadFileText(dir + "/debug.log");  // started anew
    EXPECT_TRUE(log.rfind("[test] first line\n", 0) == 0 && log.substr(log.size() - 7) == "[exit]\n" &&
                log.find("[mem]        130 bytes in 2 blocks  dump test block") != std::string::npos) << log;
    RemoveTree(dir);
}

TEST_F(BaseModule, TheVirtualClockAdvancesOnlyPerStepAndACaptureRunsItOnItsFrames) {
    BindLinkedBase({"--step", "1000/30"});
    std::vector<int32_t> seen;
    for (int i = 0; i <= 30 * 250; ++i, BS_TimerStep())
        if (i == 30 || i == 30 * 250) seen.push_back(Base.BS_TimerGet());  // exact: no drift in 33.33 ms steps
    Base.BS_TimerPause(1);
    BS_TimerStep();
    seen.push_back(Base.BS_TimerGet());
    Base.BS_TimerPause(0);
    Base.BS_TimerReset();
    seen.push_back(Base.BS_TimerGet());
    // Pictures alone keep a given --step; a capture's rate is 60 fps unless given, at most 1000.
    const std::vector<std::string> runs[] = {{"--shots", "d", "--at", "5", "--step", "40"},
                                             {"--shots", "d", "--at", "5", "--fps", "1000"},
                                             {"--capture", "v.mp4", "--contact-sheet", "/abs/s.png"}};
    for (const auto& args : runs) {
        BindLinkedBase(args);
        for (int i = 0; i < 60; ++i) BS_TimerStep();
        seen.push_back(Base.BS_TimerGet());
        seen.push_back(BS_TimerResets());  // start-up's own reset is not play
    }
    EXPECT_EQ(seen, std::vector<int32_t>({1000, 250000, 250033, 0, 2400, 0, 60, 0, 1000, 0}));
    // Output names made absolute before the program moves into its home folder.
    char cwd[4096];
    EXPECT_EQ(std::string(Base.BS_CfgGet("--capture")) + " " + Base.BS_CfgGet("--contact-sheet"),
              std::string(getcwd(cwd, sizeof cwd)) + "/v.mp4 /abs/s.png");
}

std::string g_calls;
template <char name>
void proc() {
    g_calls += name;
}

// Each test starts from empty tables, as the program does.
struct Registry32 : ::testing::Test {
    void SetUp() override {
        Registry = SubsystemRegistry{};
        SetProcessEnd([](int code) { throw code; });
    }
    void TearDown() override {
        SetProcessEnd(nullptr);
        Registry = SubsystemRegistry{};
    }
};

TEST_F(Registry32, InitsRunAscendingWithSeparatorsAndExitsDescendingWithout) {
    RegisterInit(S("A unit ..."), 3, proc<'A'>);
    RegisterInit(S("B unit ..."), 0, proc<'B'>);
    RegisterInit(S("C unit ..."), 3, proc<'C'>);  // takes the slot over
    for (int slot : {0, 1, 5, 31}) RegisterExit(S("exit " + std::to_string(slot)), slot, proc<'x'>);
    RegisterExit(S(std::string(40, 'n')), 9, proc<'n'>);
    UnregisterExit(S(std::string(40, 'n')));  // matches the name cut to 32 characters
    UnregisterExit(S("exit 5"));
    LogCapture log;
    g_calls.clear();
    RunInits();
    try {
        RunExits(3);
    } catch (int code) {
        g_calls += " " + std::to_string(code);
    }
    const std::string bar = "[init] -------------------------";
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[init] --- subsystems", bar, "[init] call : B unit ...", bar,
                                                      "[init] call : C unit ...", "[init] --- end",
                                                      "[exit] --- subsystems", "[exit] call : exit 31",
                                                      "[exit] call : exit 1", "[exit] call : exit 0", "[exit]"}));
    EXPECT_EQ(g_calls, "BCxxx 3");
}

// Guards a write past the table (the registry next to it in memory).
TEST_F(Registry32, ASlotOutside0To31IsAFatalStopNamingIt) {
    ThrowOnFailure throwing;
    for (int slot : {-1, 32, 1000})
        for (auto reg : {RegisterInit, RegisterExit}) {
            SubsystemRegistry before = Registry;
            try {
                reg(S("stray"), slot, proc<'A'>);
                ADD_FAILURE() << slot;
            } catch (const Failure& f) {
                EXPECT_EQ(f.message, "Subsystem slot " + std::to_string(slot) + " of \"stray\" is outside 0..31.");
            }
            EXPECT_EQ(memcmp(&before, &Registry, sizeof Registry), 0) << slot;
        }
    RegisterInit(S("last"), 31, proc<'A'>);
    EXPECT_EQ(Registry.init.slot[31].inuse, 1);
}

// Malformed or clashing options are refused before anything starts, with
// the reason; without its Base module beside it the program cannot start.
TEST(Program, RefusesWhatCannotWorkUpFront) {
    const std::string step = "2 vexil2: --step wants milliseconds above 0 (like 40 or 1000/30), not ";
    const std::vector<std::string> runs[][2] = {
        {{"--width", "wide"}, {"2 vexil2: --width wants a whole number above 0, not \"wide\"\n"}},
        {{"--height", "0"}, {"2 vexil2: --height wants a whole number above 0, not \"0\"\n"}},
        {{"--step", "0"}, {step + "\"0\"\n"}},
        {{"--step", "1000/0"}, {step + "\"1000/0\"\n"}},
        {{"--step"}, {"2 vexil2: --step needs a value (see --help)\n"}},
        {{"VELMAR_MODULE_BASE=/nowhere/Modules/Base.so"}, {"1 error... Modules/Base.so not found ...\n"}},
        {{"--capture", "a.mp4", "--step", "40"},
         {"2 vexil2: --capture runs the show clock at 1000/fps ms a frame: give --fps instead of --step\n"}},
        {{"--shots", "d"}, {"2 vexil2: --shots needs --at MS[,MS...]: the show times to take\n"}},
        {{"--at", "1"}, {"2 vexil2: --at goes with --shots DIR\n"}},
        {{"--shots", "d", "--at", "1,"},
         {"2 vexil2: --at wants show times in ms separated by commas (like 0,1500,20000), not \"1,\"\n"}},
        {{"--every", "1"}, {"2 vexil2: --every goes with --contact-sheet OUT.png\n"}},
        {{"--capture", "a.mp4", "--fps", "1001"}, {"2 vexil2: --fps wants at most 1000 frames a second\n"}},
        {{"--capture", "/no/a.mp4"}, {"2 vexil2: cannot capture: cannot write into the folder of /no/a.mp4\n"}},
        {{"--capture", "a.mp4", "VELMAR_FFMPEG=/no/ffmpeg"},
         {"2 vexil2: cannot capture: VELMAR_FFMPEG names no program that can be run: /no/ffmpeg\n"}},
        {{"--capture", "a.mp4", "PATH=/nowhere"}, {"2 vexil2: cannot capture: ffmpeg was not found (install the Debian "
                                                  "package ffmpeg, or name the program in VELMAR_FFMPEG)\n"}},
    };
    for (const auto& [args, want] : runs) {
        std::vector<std::string> argv = {ShowDir() + "/vexil2"}, env = {"DISPLAY=", "WAYLAND_DISPLAY="};
        for (const auto& a : args) (a[0] != '-' && a.find('=') != std::string::npos ? env : argv).push_back(a);
        RunResult r = RunProgram(argv, env);
        EXPECT_EQ(std::to_string(r.code) + " " + r.err, want[0]);
    }
}

}  // namespace
