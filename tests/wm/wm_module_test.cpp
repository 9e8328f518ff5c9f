// The real window-manager module (Modules/WM.so) in-process, headless, with
// the real Base module loaded beside it for its options, log and clock.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <GL/gl.h>

#include "support/showrun.h"
#include "support/support.h"

namespace {

struct RealBase {
    void* handle = nullptr;
    int (*BS_BaseInit)(void*, int, char**, void**) = nullptr;
    int32_t (*BS_TimerGet)(void) = nullptr;
    void (*BS_TimerReset)(void) = nullptr;
};

struct WmModule {
    void* handle = nullptr;
#define WM_SLOT(ret, name, params) ret(*name) params = nullptr;
    WM_API_LIST(WM_SLOT)
    WM_EXTRA_LIST(WM_SLOT)
#undef WM_SLOT
};

struct WmModuleTest : ::testing::Test {
    RealBase base;
    WmModule wm;
    std::string home;

    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("SDL_VIDEODRIVER");
        std::string basePath = ModuleDir() + "/Base.so";
        setenv("VELMAR_MODULE_BASE", basePath.c_str(), 1);
        base.handle = dlopen(basePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(base.handle, nullptr) << dlerror();
        base.BS_BaseInit = (int (*)(void*, int, char**, void**))dlsym(base.handle, "BS_BaseInit");
        base.BS_TimerGet = (int32_t(*)(void))dlsym(base.handle, "BS_TimerGet");
        base.BS_TimerReset = (void (*)(void))dlsym(base.handle, "BS_TimerReset");
        home = MakeTempDir("wm");
        wm.handle = dlopen((ModuleDir() + "/WM.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(wm.handle, nullptr) << dlerror();
#define WM_BIND(ret, name, params) wm.name = (ret(*) params)dlsym(wm.handle, #name);
        WM_API_LIST(WM_BIND)
        WM_EXTRA_LIST(WM_BIND)
#undef WM_BIND
    }
    void TearDown() override {
        if (wm.wmUnLoad) wm.wmUnLoad();
        if (wm.handle) dlclose(wm.handle);
        if (base.handle) dlclose(base.handle);
        unsetenv("VELMAR_MODULE_BASE");
        RemoveTree(home);
    }
    void options(std::vector<std::string> args) {
        args.insert(args.begin(), {"vexil2", "-v", "--home", home});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        void* reserved = nullptr;
        base.BS_BaseInit(nullptr, (int)args.size(), argv.data(), &reserved);
    }
    int32_t field(int offset) {
        const char* s = (const char*)wm.wmOptions(WM_OPTION_SETTINGS, 0, 0);
        int32_t v;
        memcpy(&v, s + offset, 4);
        return v;
    }
    template <class F>
    F gl(const char* name) {
        return (F)wm.wmGetProcAddress(name);
    }
};

TEST_F(WmModuleTest, EveryEntryPointIsExported) {
#define WM_EXPECT(ret, name, params) EXPECT_NE((void*)wm.name, nullptr) << #name;
    WM_API_LIST(WM_EXPECT)
    WM_EXTRA_LIST(WM_EXPECT)
#undef WM_EXPECT
}

TEST_F(WmModuleTest, TheSettingsRecordFollowsTheCommandLine) {
    options({"--width", "640", "--height", "480", "--nosound"});
    ASSERT_EQ(wm.wmPreInit(), 0);
    EXPECT_EQ(field(0), 640);
    EXPECT_EQ(field(4), 480);
    EXPECT_EQ(field(20), 1);
    EXPECT_EQ(field(28), 0);
    EXPECT_EQ(field(16), 1);  // vsync unless --novsync
    wm.wmUnLoad();
    options({"--novsync"});
    ASSERT_EQ(wm.wmPreInit(), 0);
    EXPECT_EQ(field(0), 1024);
    EXPECT_EQ(field(4), 768);
    EXPECT_EQ(field(20), 0);
    EXPECT_EQ(field(16), 0);
    EXPECT_EQ(field(24), 1);  // headless
}

TEST_F(WmModuleTest, WithoutADisplayItDrawsOffscreenAndSaysSo) {
    options({});
    ASSERT_EQ(wm.wmPreInit(), 0);
    auto log = SplitLines(ReadFileText(home + "/debug.log"));
    EXPECT_TRUE(InOrder(log, {"[wm] no display: drawing offscreen (SDL offscreen driver)", "[wm] video driver: offscreen"}));
}

TEST_F(WmModuleTest, TheWindowHasTheContextTheShowNeeds) {
    options({"--width", "320", "--height", "200"});
    ASSERT_EQ(wm.wmPreInit(), 0);
    ASSERT_EQ(wm.wmInit("test"), 0);
    EXPECT_EQ(wm.wmGetProcAddress("glGetIntegerv"), nullptr);  // no context yet
    uint32_t w = wm.wmCreateWindow(0, 0, field(0), field(4), WM_CREATE_FLAGS, "test");
    ASSERT_NE(w, 0u);
    EXPECT_EQ(wm.wmOptions(WM_OPTION_WIDTH, w, 0), 320);
    EXPECT_EQ(wm.wmOptions(WM_OPTION_HEIGHT, w, 0), 200);
    EXPECT_EQ(wm.wmOptions(WM_OPTION_READY, w, 0), 1);
    EXPECT_EQ(wm.wmOptions(WM_OPTION_CLOSED, w, 0), 0);
    EXPECT_EQ(wm.wmDirectRendering(w), 1);
    auto getIntegerv = gl<void (*)(GLenum, GLint*)>("glGetIntegerv");
    ASSERT_NE(getIntegerv, nullptr);
    GLint bits = 0;
    getIntegerv(GL_DEPTH_BITS, &bits);
    EXPECT_EQ(bits, 24);
    getIntegerv(GL_STENCIL_BITS, &bits);
    EXPECT_EQ(bits, 8);
    getIntegerv(GL_ALPHA_BITS, &bits);
    EXPECT_EQ(bits, 8);
    // A cleared frame reads back as cleared, and presenting keeps going.
    auto clearColor = gl<void (*)(GLfloat, GLfloat, GLfloat, GLfloat)>("glClearColor");
    auto clear = gl<void (*)(GLbitfield)>("glClear");
    auto readPixels = gl<void (*)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, GLvoid*)>("glReadPixels");
    clearColor(1.0f, 0.5f, 0.0f, 1.0f);
    clear(GL_COLOR_BUFFER_BIT);
    unsigned char px[4] = {};
    readPixels(10, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 255);
    EXPECT_NEAR(px[1], 128, 1);
    EXPECT_EQ(px[2], 0);
    for (int i = 0; i < 3; ++i) wm.wmUpdate();
    // The key table: one byte per code, nothing held.
    const uint8_t* keys = (const uint8_t*)wm.wmOptions(WM_OPTION_KEYS, w, 0);
    ASSERT_NE(keys, nullptr);
    for (int i = 0; i < WM_KEY_COUNT; ++i) EXPECT_EQ(keys[i], 0) << i;
    wm.wmSetTitle(w, "\"embercorvinth - vexil2\" fps:0.0");
    // Closing ends the context; the module still answers.
    wm.wmDone();
    EXPECT_EQ(wm.wmOptions(WM_OPTION_READY, w, 0), 0);
    EXPECT_EQ(wm.wmGetProcAddress("glClear"), nullptr);
    wm.wmDone();
    wm.wmUpdate();
}

TEST_F(WmModuleTest, WithAStepEveryPresentAdvancesTheBaseClock) {
    options({"--step", "40"});
    ASSERT_EQ(wm.wmPreInit(), 0);
    ASSERT_NE(wm.wmCreateWindow(0, 0, 64, 64, WM_CREATE_FLAGS, "t"), 0u);
    base.BS_TimerReset();
    for (int i = 0; i < 3; ++i) wm.wmUpdate();
    EXPECT_EQ(base.BS_TimerGet(), 120);
}

TEST_F(WmModuleTest, ANonsenseSizeMakesNoWindow) {
    options({});
    ASSERT_EQ(wm.wmPreInit(), 0);
    EXPECT_EQ(wm.wmCreateWindow(0, 0, 0, 480, WM_CREATE_FLAGS, "t"), 0u);
    EXPECT_EQ(wm.wmCreateWindow(0, 0, 640, -1, WM_CREATE_FLAGS, "t"), 0u);
    EXPECT_EQ(wm.wmOptions(WM_OPTION_READY, 0, 0), 0);
    EXPECT_EQ(wm.wmOptions(99, 0, 0), 0);
}

TEST_F(WmModuleTest, HeadlessTheMessageBoxIsALineOnStandardError) {
    options({});
    ASSERT_EQ(wm.wmPreInit(), 0);
    std::string errPath = home + "/stderr";
    int saved = dup(2);
    int f = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(f, 2);
    wm.MsgBox("Music not found. ");
    dup2(saved, 2);
    close(f);
    close(saved);
    EXPECT_EQ(ReadFileText(errPath), "Music not found. \n");
}

}  // namespace
