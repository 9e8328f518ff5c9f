// The frame's window-manager binding, the window opener and FatalStop, with
// the fake window manager in-process.
#include <gtest/gtest.h>

#include "glbind/glbind.h"
#include "recgl/recgl.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

struct ExitCalled {
    int code;
};

struct WmBindingTest : ::testing::Test {
    std::string dir, tracePath;
    void SetUp() override {
        dir = MakeTempDir("wmbind");
        tracePath = dir + "/trace.txt";
        setenv("VELMAR_MODULE_WM", FakeWmPath().c_str(), 1);
        setenv("VELMAR_FAKEWM_TRACE", tracePath.c_str(), 1);
        unsetenv("VELMAR_FAKEWM_FAIL");
        unsetenv("VELMAR_FAKEWM_CLOSE");
        unsetenv("VELMAR_FAKEWM_SIZE");
        RecglUse();
        GlBind();
        Registry = SubsystemRegistry{};
        SetProcessEnd([](int code) { throw ExitCalled{code}; });
    }
    void TearDown() override {
        SetProcessEnd(nullptr);
        WmUnbind();
        GlUnbind();
        Registry = SubsystemRegistry{};
        unsetenv("VELMAR_MODULE_WM");
        unsetenv("VELMAR_FAKEWM_TRACE");
        unsetenv("VELMAR_FAKEWM_FAIL");
        RemoveTree(dir);
    }
    std::vector<std::string> trace() const { return SplitLines(ReadFileText(tracePath)); }
    std::string bindFailure() {
        ThrowOnFailure guard;
        try {
            WmBind();
        } catch (const Failure& f) {
            return f.message;
        }
        return "";
    }
};

TEST_F(WmBindingTest, TheOpenerMakesTheWindowFromTheSettingsAndChecksExtensions) {
    setenv("VELMAR_FAKEWM_SIZE", "640x400", 1);
    WmBind();
    ASSERT_NE(WM.handle, nullptr);
    EXPECT_EQ(GlExtLoader, WM.wmGetProcAddress);
    LogCapture log;
    EXPECT_EQ(OpenWindow("a title"), 0);
    EXPECT_EQ(Window.window, 7u);
    EXPECT_EQ(WindowSetting(WindowSettingWidth), 1024);
    EXPECT_EQ(WindowSetting(WindowSettingHeight), 768);
    EXPECT_EQ(WindowSetting(WindowSettingSoundOff), 0);
    EXPECT_EQ(WindowSetting(WindowSettingTextureOption), 0);
    EXPECT_EQ(WindowWidth(), 640);
    EXPECT_EQ(WindowHeight(), 400);
    EXPECT_FALSE(WindowClosed());
    EXPECT_EQ(KeyState(WM_KEY_ESCAPE), 0);
    EXPECT_EQ(log.lines().front(), "[gl] --- check extensions:");
    // Through the fake's loader the recording GL's compressed upload.
    EXPECT_NE((void*)GLEXT.glCompressedTexImage2DARB, nullptr);
    EXPECT_TRUE(InOrder(trace(), {"wmPreInit", "wmInit(a title)", "wmOptions(12, 0, 0)",
                                  "wmCreateWindow(0, 0, 1024, 768, 9, a title)", "wmOptions(8, 7, 0)",
                                  "wmOptions(11, 7, 0)"}));
    SetWindowTitle(S("\"x\" y"));
    EXPECT_EQ(trace().back(), "wmSetTitle(7, \"x\" y)");
}

TEST_F(WmBindingTest, OpenerFailuresAnswer1) {
    setenv("VELMAR_FAKEWM_FAIL", "init", 1);
    WmBind();
    EXPECT_EQ(OpenWindow("t"), 1);
    EXPECT_EQ(FindLine(trace(), "wmOptions(12, 0, 0)"), -1);
    WmUnbind();
    setenv("VELMAR_FAKEWM_FAIL", "create", 1);
    WmBind();
    LogCapture log;
    EXPECT_EQ(OpenWindow("t"), 1);
    EXPECT_TRUE(log.lines().empty());  // no extension check without a window
    EXPECT_EQ(Window.keys, nullptr);
}

TEST_F(WmBindingTest, WithoutTheModuleNothingIsCalled) {
    EXPECT_EQ(OpenWindow("t"), 1);
    EXPECT_EQ(WindowWidth(), 0);
    EXPECT_FALSE(WindowClosed());
    EXPECT_EQ(WindowSetting(WindowSettingSoundOff), 0);
    SetWindowTitle(S("nothing happens"));
}

TEST_F(WmBindingTest, TheCloseQueryAndKeysOutsideTheTable) {
    setenv("VELMAR_FAKEWM_CLOSE", "0", 1);
    WmBind();
    ASSERT_EQ(OpenWindow("t"), 0);
    EXPECT_TRUE(WindowClosed());
    for (int code : {-1, WM_KEY_COUNT, 100000}) EXPECT_EQ(KeyState(code), 0) << code;
}

TEST_F(WmBindingTest, AMissingModuleIsAFatalStopWithTheReinstallMessage) {
    setenv("VELMAR_MODULE_WM", (dir + "/WM.so").c_str(), 1);
    EXPECT_EQ(bindFailure(), "WM not loaded, please reinstall this software.");
    EXPECT_EQ(WM.handle, nullptr);
}

TEST_F(WmBindingTest, AModuleWithoutItsEntryPointsIsRefusedAndNotCalled) {
    setenv("VELMAR_MODULE_WM", RecglPath().c_str(), 1);
    EXPECT_EQ(bindFailure(), "WM entry point wmPreInit not found, please reinstall this software.");
    EXPECT_EQ(WM.handle, nullptr);  // so the stop shows no box through it
}

TEST_F(WmBindingTest, APreInitFailureIsAFatalStop) {
    setenv("VELMAR_FAKEWM_FAIL", "preinit", 1);
    EXPECT_EQ(bindFailure(), "Error during WM initialization.");
}

TEST_F(WmBindingTest, FatalStopClosesTheWindowShowsTheWholeMessageLogsItAndRunsTheExits) {
    WmRegisterUnit();
    WmBind();
    ASSERT_EQ(OpenWindow("t"), 0);
    std::string message(255, 'm');
    message.replace(0, 5, "Stop!");
    LogCapture log;
    int code = -1;
    try {
        FatalStop(S(message));
    } catch (const ExitCalled& e) {
        code = e.code;
    }
    EXPECT_EQ(code, 1);
    auto t = trace();
    int done = FindLine(t, "wmDone");
    ASSERT_NE(done, -1);
    EXPECT_EQ(FindLine(t, "MsgBox(" + message + ")"), done + 1);
    EXPECT_EQ(FindLine(t, "wmUnLoad"), done + 2);
    // 255 characters: the line goes out without its line feed.
    EXPECT_EQ(log.text, message + "[exit] --- subsystems\n[exit] call : Uninit window manager ...\n[exit]\n");
    EXPECT_EQ(WM.handle, nullptr);
}

TEST_F(WmBindingTest, FatalStopWithoutTheModuleLogsAndEndsWith1) {
    LogCapture log;
    int code = -1;
    try {
        FatalStop("File (x) not found.");
    } catch (const ExitCalled& e) {
        code = e.code;
    }
    EXPECT_EQ(code, 1);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"File (x) not found.", "[exit] --- subsystems", "[exit]"}));
    EXPECT_TRUE(trace().empty());
}

TEST_F(WmBindingTest, TheExitProcedureUnloadsAndForgetsTheWindow) {
    WmBind();
    ASSERT_EQ(OpenWindow("t"), 0);
    WmUnbind();
    EXPECT_EQ(WM.handle, nullptr);
    EXPECT_EQ(Window.window, 0u);
    EXPECT_EQ(Window.settings, nullptr);
    EXPECT_EQ(GlExtLoader, nullptr);
    EXPECT_EQ(trace().back(), "wmUnLoad");
    WmUnbind();  // a second time does nothing
}

TEST_F(WmBindingTest, SlotOneIsTheWindowManager) {
    WmRegisterUnit();
    EXPECT_EQ(str(Registry.init.slot[1].name), "Window manager ...");
    EXPECT_EQ(str(Registry.exit.slot[1].name), "Uninit window manager ...");
    EXPECT_EQ(Registry.init.slot[1].proc, WmBind);
    EXPECT_EQ(Registry.exit.slot[1].proc, WmUnbind);
}

}  // namespace
