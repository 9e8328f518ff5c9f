#include <gtest/gtest.h>

#include "support/support.h"

namespace {

std::vector<std::string> g_calls;
void procA() { g_calls.push_back("A"); }
void procB() { g_calls.push_back("B"); }
void procC() { g_calls.push_back("C"); }

struct ExitCalled {
    int code;
};

// Each test starts from empty tables, as the program does.
struct RegistryTest : ::testing::Test {
    void SetUp() override {
        Registry = SubsystemRegistry{};
        g_calls.clear();
        SetProcessEnd([](int code) { throw ExitCalled{code}; });
    }
    void TearDown() override {
        SetProcessEnd(nullptr);
        Registry = SubsystemRegistry{};
    }
    int runExits(int code) {
        try {
            RunExits(code);
        } catch (const ExitCalled& e) {
            return e.code;
        }
        return -1;
    }
};

TEST_F(RegistryTest, InitRunCallsAscendingWithSeparators) {
    RegisterInit(S("A unit ..."), 3, procA);
    RegisterInit(S("B unit ..."), 1, procB);
    LogCapture log;
    RunInits();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "[init] --- subsystems",
                               "[init] -------------------------",
                               "[init] call : B unit ...",
                               "[init] -------------------------",
                               "[init] call : A unit ...",
                               "[init] --- end",
                           }));
    // The run leaves the flags as they were: a second run calls again.
    RunInits();
    EXPECT_EQ(g_calls.size(), 4u);
}

TEST_F(RegistryTest, SecondRegistrationReplacesTheSlot) {
    RegisterInit(S("first"), 2, procA);
    RegisterInit(S("second"), 2, procB);
    RunInits();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"B"}));
    EXPECT_TRUE(Registry.init.slot[2].name == "second");
}

// Guards a write past the table (the registry next to it in memory).
TEST_F(RegistryTest, ASlotOutside0To31IsAFatalStopNamingIt) {
    ThrowOnFailure throwing;
    for (int slot : {-1, 32, 1000})
        for (auto reg : {RegisterInit, RegisterExit}) {
            SubsystemRegistry before = Registry;
            try {
                reg(S("stray"), slot, procA);
                ADD_FAILURE() << slot;
            } catch (const Failure& f) {
                EXPECT_EQ(f.kind, FailFatalStop);
                EXPECT_EQ(f.message, "Subsystem slot " + std::to_string(slot) + " of \"stray\" is outside 0..31.");
            }
            EXPECT_EQ(memcmp(&before, &Registry, sizeof Registry), 0) << slot;
        }
    RegisterInit(S("last"), 31, procA);
    EXPECT_EQ(Registry.init.slot[31].inuse, 1);
}

TEST_F(RegistryTest, FirstRegistrationClearsOnlyItsOwnTable) {
    RegisterExit(S("x"), 4, procA);
    EXPECT_TRUE(Registry.exit.prepared);
    EXPECT_FALSE(Registry.init.prepared);
    RegisterInit(S("y"), 5, procB);
    EXPECT_TRUE(Registry.init.prepared);
    EXPECT_EQ(Registry.exit.slot[4].inuse, 1);  // not cleared by the other table
}

TEST_F(RegistryTest, NamesAreCutTo32Characters) {
    std::string longName(40, 'n');
    RegisterExit(S(longName), 9, procA);
    EXPECT_EQ(Registry.exit.slot[9].name.len, 32);
    // Unregistering with the long name matches the cut name.
    UnregisterExit(S(longName));
    EXPECT_EQ(Registry.exit.slot[9].inuse, 0);
}

TEST_F(RegistryTest, UnregisterLeavesSlotOutOfTheNextRun) {
    RegisterExit(S("Uninit OpenAL ..."), 5, procA);
    RegisterExit(S("Uninit Vorbis ..."), 6, procB);
    UnregisterExit(S("Uninit OpenAL ..."));
    EXPECT_EQ(Registry.exit.slot[5].inuse, 0);
    // The slot keeps its name and procedure.
    EXPECT_TRUE(Registry.exit.slot[5].name == "Uninit OpenAL ...");
    EXPECT_EQ(Registry.exit.slot[5].proc, procA);
    UnregisterExit(S("no such name"));
    LogCapture log;
    EXPECT_EQ(runExits(3), 3);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"B"}));
}

TEST_F(RegistryTest, UnregisterClearsOnlyTheLowestSlotOfADuplicateName) {
    RegisterInit(S("same"), 2, procA);
    RegisterInit(S("same"), 7, procB);
    UnregisterInit(S("same"));
    EXPECT_EQ(Registry.init.slot[2].inuse, 0);
    EXPECT_EQ(Registry.init.slot[7].inuse, 1);
    UnregisterInit(S("Same"));  // case matters
    EXPECT_EQ(Registry.init.slot[7].inuse, 1);
}

TEST_F(RegistryTest, ExitRunDescendsWithoutSeparators) {
    // The program's own registrations, in the order a normal end logs them.
    const char* names[] = {"Release base lib ...", "Uninit window manager ...", "GL unit ...",
                           "Uninit GLU unit ...", "Uninit texture loader ...", "Uninit OpenAL ...",
                           "Uninit Vorbis ...", "Uninit sound system ..."};
    for (int i = 0; i < 8; ++i) RegisterExit(S(names[i]), i, procC);
    LogCapture log;
    EXPECT_EQ(runExits(0), 0);
    std::vector<std::string> want = {"[exit] --- subsystems"};
    for (int i = 7; i >= 0; --i) want.push_back(std::string("[exit] call : ") + names[i]);
    want.push_back("[exit]");
    EXPECT_EQ(log.lines(), want);
    EXPECT_EQ(g_calls.size(), 8u);
}

TEST_F(RegistryTest, EmptyExitRunLogsFrameAndEndsWithTheCode) {
    LogCapture log;
    EXPECT_EQ(runExits(42), 42);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[exit] --- subsystems", "[exit]"}));
}

TEST(RegistryProcess, ExitRunEndsTheProcessWithItsCode) {
    EXPECT_EXIT(
        {
            Registry = SubsystemRegistry{};
            RunExits(7);
        },
        ::testing::ExitedWithCode(7), "");
}

// ------------------------------------------------------------ log front end

TEST(LogFrontEnd, LineGetsLineFeedAndTextDoesNot) {
    LogCapture log;
    LogText("[gl] GL_X : ");
    LogText("not ");
    LogLine("available");
    EXPECT_EQ(log.text, "[gl] GL_X : not available\n");
}

TEST(LogFrontEnd, A255CharacterLineLosesItsLineFeed) {
    LogCapture log;
    std::string t(255, 'x');
    LogLine(t);
    EXPECT_EQ(log.text, t);
    log.text.clear();
    LogLine(std::string(254, 'y'));
    EXPECT_EQ(log.text, std::string(254, 'y') + "\n");
    log.text.clear();
    LogText(std::string(300, 'z'));  // cut to 255
    EXPECT_EQ(log.text.size(), 255u);
}

namespace {
std::vector<size_t> g_gets;
int g_frees = 0;
void* (*g_realGet)(size_t, const char*);
void (*g_realFree)(void**);
void* countingGet(size_t n, const char* label) {
    EXPECT_STREQ(label, "PasStr");
    g_gets.push_back(n);
    return g_realGet(n, label);
}
void countingFree(void** p) {
    if (*p) ++g_frees;
    g_realFree(p);
}
}  // namespace

TEST(LogFrontEnd, ToCStringGrowsItsBufferOnlyWhenNeeded) {
    void* old = PasStr.buffer;
    Base.BS_MemFree(&old);
    PasStr = PasStrState{};
    g_realGet = Base.BS_MemGet;
    g_realFree = Base.BS_MemFree;
    Base.BS_MemGet = countingGet;
    Base.BS_MemFree = countingFree;
    g_gets.clear();
    g_frees = 0;
    EXPECT_STREQ(ToCString(S(std::string(10, 'a'))), std::string(10, 'a').c_str());
    EXPECT_STREQ(ToCString(S(std::string(200, 'b'))), std::string(200, 'b').c_str());
    char* kept = PasStr.buffer;
    EXPECT_STREQ(ToCString(S(std::string(10, 'c'))), "cccccccccc");
    EXPECT_EQ(PasStr.buffer, kept);
    EXPECT_EQ(g_gets, (std::vector<size_t>{15, 205}));
    EXPECT_EQ(g_frees, 1);
    EXPECT_EQ(PasStr.capacity, 200);
    Base.BS_MemGet = g_realGet;
    Base.BS_MemFree = g_realFree;
}

TEST(LogFrontEnd, EmptyTextFirstStillGetsABuffer) {
    void* old = PasStr.buffer;
    Base.BS_MemFree(&old);
    PasStr = PasStrState{};
    char* c = ToCString(S(""));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c[0], 0);
    EXPECT_EQ(PasStr.capacity, 0);
}

}  // namespace
