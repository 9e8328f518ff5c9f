// The window manager as the program binds it: the opener and FatalStop with
// the fake module, and the real one (Modules/WM.so) headless, with the real
// Base module loaded beside it for its options, log and clock.
#include <GL/gl.h>
#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "glbind/glbind.h"
#include "recgl/recgl.h"
#include "support/showrun.h"
#include "support/support.h"

namespace {

struct WmTest : ::testing::Test {
    std::string dir = MakeTempDir("wm"), tracePath = dir + "/trace.txt";
    void* base = nullptr;
    const char* variables[8] = {"VELMAR_FAKEWM_FAIL", "VELMAR_FAKEWM_KEYS", "VELMAR_FAKEWM_SIZE", "VELMAR_MODULE_BASE",
                                "DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "VELMAR_MODULE_WM"};
    void SetUp() override {
        for (const char* v : variables) unsetenv(v);
        setenv("VELMAR_MODULE_WM", FakeWmPath().c_str(), 1);
        setenv("VELMAR_FAKEWM_TRACE", tracePath.c_str(), 1);
        RecglUse();
        GlBind();
        Registry = SubsystemRegistry{};
        SetProcessEnd([](int code) { throw code; });
    }
    void TearDown() override {
        SetProcessEnd(nullptr);
        WmUnbind();
        GlUnbind();
        if (base) dlclose(base);
        for (const char* v : variables) unsetenv(v);
        RemoveTree(dir);
    }
    std::vector<std::string> trace() const { return SplitLines(ReadFileText(tracePath)); }
    // The real module bound after the real Base module took this command line; a window of this size.
    uint32_t real(std::vector<std::string> args, int width = 64, int height = 64) {
        setenv("VELMAR_MODULE_BASE", (ModuleDir() + "/Base.so").c_str(), 1);
        setenv("VELMAR_MODULE_WM", (ModuleDir() + "/WM.so").c_str(), 1);
        if (!base) base = dlopen((ModuleDir() + "/Base.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        args.insert(args.begin(), {"vexil2", "-v", "--home", dir});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        void* reserved = nullptr;
        ((int (*)(void*, int, char**, void**))dlsym(base, "BS_BaseInit"))(nullptr, (int)argv.size(), argv.data(),
                                                                           &reserved);
        WmBind();
        return width ? WM.wmCreateWindow(0, 0, width, height, WM_CREATE_FLAGS, "test") : 0;
    }
};

TEST_F(WmTest, TheOpenerMakesTheWindowFromTheSettingsAndChecksExtensions) {
    setenv("VELMAR_FAKEWM_SIZE", "640x400", 1);
    setenv("VELMAR_FAKEWM_KEYS", "32@0", 1);
    WmBind();
    EXPECT_EQ(GlExtLoader, WM.wmGetProcAddress);
    LogCapture log;
    EXPECT_EQ(OpenWindow("title"), 0);
    WM.wmUpdate();
    EXPECT_EQ(std::vector<int32_t>({(int32_t)Window.window, WindowSetting(WindowSettingWidth),
                                    WindowSetting(WindowSettingHeight), WindowSetting(WindowSettingSoundOff),
                                    WindowWidth(), WindowHeight(), WindowClosed(), KeyState(-1), KeyState(27),
                                    KeyState(32), KeyState(WM_KEY_COUNT)}),
              std::vector<int32_t>({7, 1024, 768, 0, 640, 400, 0, 0, 0, 1, 0}));
    EXPECT_EQ(log.lines().front(), "[gl] --- check extensions:");
    EXPECT_NE((void*)GLEXT.glCompressedTexImage2DARB, nullptr);  // through the module's loader
    SetWindowTitle(S("\"x\" y"));
    EXPECT_TRUE(InOrder(trace(), {"wmInit(title)", "wmOptions(12, 0, 0)", "wmCreateWindow(0, 0, 1024, 768, 9, title)",
                                  "wmOptions(8, 7, 0)", "wmSetTitle(7, \"x\" y)"}));
    // The exit procedure unloads the module and forgets the window, once.
    WmUnbind();
    WmUnbind();
    EXPECT_TRUE(!WM.handle && !Window.window && !Window.settings && !GlExtLoader);
    EXPECT_EQ(CountLines(trace(), "wmUnLoad"), 1);
}

// Guards calls into a module that is missing or lacks its entry points.
TEST_F(WmTest, AModuleThatCannotServeIsAFatalStop) {
    const std::string cases[][3] = {
        {"VELMAR_FAKEWM_FAIL", "preinit", "Error during WM initialization."},
        {"VELMAR_MODULE_WM", dir + "/WM.so", "WM not loaded, please reinstall this software."},
        {"VELMAR_MODULE_WM", RecglPath(), "WM entry point wmPreInit not found, please reinstall this software."},
    };
    for (const auto& [variable, value, message] : cases) {
        setenv(variable.c_str(), value.c_str(), 1);
        ThrowOnFailure guard;
        try {
            WmBind();
            ADD_FAILURE() << message;
        } catch (const Failure& f) {
            EXPECT_EQ(f.message, message);
        }
        EXPECT_TRUE(value == "preinit" || !WM.handle) << message;  // so the stop shows no box through it
    }
}

TEST_F(WmTest, FatalStopClosesTheWindowShowsTheWholeMessageLogsItAndRunsTheExits) {
    WmRegisterUnit();
    WmBind();
    ASSERT_EQ(OpenWindow("t"), 0);
    std::string message = "Stop!" + std::string(250, 'm');
    LogCapture log;
    int code = -1;
    try {
        FatalStop(S(message));
    } catch (int c) {
        code = c;
    }
    EXPECT_EQ(code, 1);
    auto t = trace();
    int done = FindLine(t, "wmDone");
    EXPECT_TRUE(done > 0 && FindLine(t, "MsgBox(" + message + ")") == done + 1 && FindLine(t, "wmUnLoad") == done + 2 &&
                !WM.handle);
    // 255 characters: the line goes out without its line feed.
    EXPECT_EQ(log.text, message + "[exit] --- subsystems\n[exit] call : Uninit window manager ...\n[exit]\n");
}

TEST_F(WmTest, TheRealModulesSettingsFollowTheCommandLineAndHeadlessItDrawsOffscreen) {
    const std::vector<std::string> args[] = {{"--width", "640", "--height", "480", "--nosound"},
                                             {"--novsync", "--fullscreen"}};
    // width height bpp fullscreen vsync soundoff headless textureoption captureaudio
    const std::vector<int32_t> want[] = {{640, 480, 32, 0, 1, 1, 1, 0, 0}, {1024, 768, 32, 0, 0, 0, 1, 0, 0}};
    for (int i = 0; i < 2; ++i, WmUnbind()) {
        real(args[i], 0);
        const int32_t* s = (const int32_t*)WM.wmOptions(WM_OPTION_SETTINGS, 0, 0);
        EXPECT_EQ(std::vector<int32_t>(s, s + sizeof(WmSettings) / 4), want[i]) << args[i][0];
    }
    EXPECT_TRUE(InOrder(SplitLines(ReadFileText(dir + "/debug.log")),
                        {"[wm] no display: drawing offscreen (SDL offscreen driver)", "[wm] video driver: offscreen"}));
}

// Keys and closing come as SDL events, taken at each present.
TEST_F(WmTest, TheRealModulesKeyEventsFillTheTableAndCloseEventsAreSeen) {
    uint32_t w = real({});
    auto push = (int (*)(SDL_Event*))dlsym(WM.handle, "SDL_PushEvent");  // the module's own SDL
    ASSERT_NE(push, nullptr);
    auto send = [&](Uint32 type, int32_t what) {
        SDL_Event e{};
        e.type = type;
        if (type == SDL_WINDOWEVENT) e.window.event = (Uint8)what;
        else e.key.keysym.sym = what;
        EXPECT_EQ(push(&e), 1);
        WM.wmUpdate();
    };
    const uint8_t* keys = (const uint8_t*)WM.wmOptions(WM_OPTION_KEYS, w, 0);
    const struct {
        Uint32 type;
        int32_t what;
        std::string held;
    } steps[] = {
        {SDL_KEYDOWN, SDLK_ESCAPE, "27 "}, {SDL_KEYDOWN, SDLK_SPACE, "27 32 "},
        {SDL_KEYDOWN, SDLK_F1, "27 32 "}, {SDL_KEYUP, SDLK_SPACE, "27 "},  // F1 is outside the table
        {SDL_WINDOWEVENT, SDL_WINDOWEVENT_FOCUS_LOST, ""},  // a key let go elsewhere never comes back up here
        // Author mode's keys: arrows and Home by their codes 36-40, letters by
        // the upper-case code, digits as they are; ' shares 39 with Right.
        {SDL_KEYDOWN, SDLK_LEFT, "37 "}, {SDL_KEYDOWN, SDLK_QUOTE, "37 "}, {SDL_KEYDOWN, SDLK_UP, "37 38 "},
        {SDL_KEYDOWN, SDLK_p, "37 38 80 "}, {SDL_KEYUP, SDLK_LEFT, "38 80 "}, {SDL_KEYDOWN, SDLK_1, "38 49 80 "},
        {SDL_KEYUP, SDLK_p, "38 49 "}, {SDL_KEYDOWN, SDLK_HOME, "36 38 49 "}, {SDL_KEYDOWN, SDLK_RIGHT, "36 38 39 49 "},
        {SDL_KEYDOWN, SDLK_DOWN, "36 38 39 40 49 "}, {SDL_KEYDOWN, SDLK_r, "36 38 39 40 49 82 "},
    };
    for (const auto& step : steps) {
        send(step.type, step.what);
        std::string held;
        for (int i = 0; i < WM_KEY_COUNT; ++i) held += keys[i] ? std::to_string(i) + " " : "";
        EXPECT_EQ(held, step.held) << step.type << " " << step.what;
    }
    for (auto [type, what] : {std::pair<Uint32, int>{SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE}, {SDL_QUIT, 0}}) {
        w = WM.wmCreateWindow(0, 0, 64, 64, WM_CREATE_FLAGS, "t");
        EXPECT_EQ(WM.wmOptions(WM_OPTION_CLOSED, w, 0), 0) << type;
        send(type, what);
        EXPECT_EQ(WM.wmOptions(WM_OPTION_CLOSED, w, 0), 1) << type;
        WM.wmDone();
    }
}

TEST_F(WmTest, TheRealModulesContextPresentsOnTheBaseClockAndAQuitSignalClosesAtOnce) {
    uint32_t w = real({"--step", "40"}, 320, 200);
    GLint bits[3] = {};
    const GLenum asked[3] = {GL_DEPTH_BITS, GL_STENCIL_BITS, GL_ALPHA_BITS};
    for (int i = 0; i < 3; ++i) ((void (*)(GLenum, GLint*))WM.wmGetProcAddress("glGetIntegerv"))(asked[i], &bits[i]);
    ((void (*)())dlsym(base, "BS_TimerReset"))();
    for (int i = 0; i < 3; ++i) WM.wmUpdate();
    EXPECT_EQ(std::vector<intptr_t>({WM.wmOptions(WM_OPTION_WIDTH, w, 0), WM.wmOptions(WM_OPTION_HEIGHT, w, 0),
                                     WM.wmOptions(WM_OPTION_READY, w, 0), WM.wmOptions(WM_OPTION_CLOSED, w, 0),
                                     bits[0], bits[1], bits[2], ((int32_t(*)())dlsym(base, "BS_TimerGet"))()}),
              std::vector<intptr_t>({320, 200, 1, 0, 24, 8, 8, 120}));
    raise(SIGTERM);  // the module's handler counts it; no present needed
    EXPECT_EQ(WM.wmOptions(WM_OPTION_CLOSED, w, 0), 1);
    WM.wmDone();
    EXPECT_EQ(WM.wmOptions(WM_OPTION_READY, w, 0) + (intptr_t)WM.wmGetProcAddress("glClear"), 0);
}

}  // namespace
