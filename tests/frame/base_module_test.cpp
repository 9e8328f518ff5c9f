// The Base module as the program and other modules see it: through dlopen.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <zlib.h>

#include "support/support.h"

namespace {

struct RealBase {
    void* h = nullptr;
#define BS_SLOT(ret, name, params) ret(*name) params = nullptr;
    BS_API_LIST(BS_SLOT)
    BS_EXTRA_LIST(BS_SLOT)
#undef BS_SLOT
};

// The module file itself; its state is apart from the copy linked into the
// test program, whose symbols the program does not export.
RealBase& Real() {
    static RealBase b = [] {
        RealBase r;
        std::string path = ModuleDir() + "/Base.so";
        r.h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_NE(r.h, nullptr) << dlerror();
#define BS_BIND(ret, name, params) r.name = (ret(*) params)dlsym(r.h, #name);
        BS_API_LIST(BS_BIND)
        BS_EXTRA_LIST(BS_BIND)
#undef BS_BIND
        return r;
    }();
    return b;
}

void Init(std::vector<std::string> args) {
    args.insert(args.begin(), "prog");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    void* reserved = nullptr;
    Real().BS_BaseInit(Real().h, (int)args.size(), argv.data(), &reserved);
}

TEST(BaseModule, ProvidesEveryCalledEntryPoint) {
    RealBase& b = Real();
    ASSERT_NE(b.h, nullptr);
    EXPECT_TRUE(b.BS_BaseInit && b.BS_BaseDone && b.BS_DbgLog && b.BS_DlOpen && b.BS_DlGetProc && b.BS_DlClose &&
                b.BS_DlGetList && b.BS_MemGet && b.BS_MemFree && b.BS_MemDump && b.BS_PathGet && b.BS_TimerReset &&
                b.BS_TimerGet && b.BS_TimerPause && b.BS_CfgGet && b.BS_TimerStep);
    EXPECT_EQ(b.BS_CfgLoad, nullptr);  // not provided: the slot stays 0
}

TEST(BaseModule, CommandLineGoesIntoTheStore) {
    std::string dir = MakeTempDir("cfg");
    Init({"-v", "--home", dir, "--width", "800", "--height=600", "--nosound", "extra"});
    RealBase& b = Real();
    EXPECT_STREQ(b.BS_CfgGet("--width"), "800");
    EXPECT_STREQ(b.BS_CfgGet("--height"), "600");
    EXPECT_STREQ(b.BS_CfgGet("--nosound"), "1");
    EXPECT_STREQ(b.BS_CfgGet("-v"), "1");
    EXPECT_STREQ(b.BS_CfgGet("arg"), "extra");
    EXPECT_STREQ(b.BS_CfgGet("cmdline"), ("prog -v --home " + dir + " --width 800 --height=600 --nosound extra").c_str());
    EXPECT_EQ(b.BS_CfgGet("--fullscreen"), nullptr);
    EXPECT_EQ(std::string(b.BS_PathGet(1, "")), dir + "/");
    RemoveTree(dir);
}

TEST(BaseModule, LogLinesAndMemoryDumpReachDebugLog) {
    std::string dir = MakeTempDir("dump");
    Init({"-v", "--home", dir});
    RealBase& b = Real();
    b.BS_DbgLog("[test] first line\n");
    void* p = b.BS_MemGet(123, "dump test block");
    void* q = b.BS_MemGet(7, "dump test block");
    b.BS_MemDump();
    b.BS_MemFree(&p);
    b.BS_MemFree(&q);
    b.BS_BaseDone();
    b.BS_DbgLog("[exit]\n");  // accepted after BS_BaseDone
    std::string log = ReadFileText(dir + "/debug.log");
    EXPECT_EQ(log.rfind("[test] first line\n", 0), 0u);
    EXPECT_NE(log.find("dump test block"), std::string::npos);
    EXPECT_NE(log.find("[mem]        130 bytes in 2 blocks  dump test block"), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 7), "[exit]\n");
    Init({});
    RemoveTree(dir);
}

TEST(BaseModule, MemoryIsTrackedByLabel) {
    RealBase& b = Real();
    size_t count = b.BS_MemCount(), total = b.BS_MemTotal();
    void* x = b.BS_MemGet(100, "alpha");
    void* y = b.BS_MemGet(50, "alpha");
    char label[] = "beta";
    void* z = b.BS_MemGet(7, label);
    label[0] = 'X';  // the module kept its own copy
    EXPECT_EQ(b.BS_MemLabelBytes("alpha"), 150u);
    EXPECT_EQ(b.BS_MemLabelBytes("beta"), 7u);
    EXPECT_EQ(b.BS_MemCount(), count + 3);
    EXPECT_EQ(b.BS_MemTotal(), total + 157);
    EXPECT_EQ(((uintptr_t)x) % 16, 0u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(((unsigned char*)x)[i], 0);  // blocks start cleared
    b.BS_MemFree(&y);
    EXPECT_EQ(y, nullptr);
    b.BS_MemFree(&y);  // freeing nothing is harmless
    EXPECT_EQ(b.BS_MemLabelBytes("alpha"), 100u);
    b.BS_MemFree(&x);
    b.BS_MemFree(&z);
    EXPECT_EQ(b.BS_MemCount(), count);
    EXPECT_EQ(b.BS_MemTotal(), total);
}

TEST(BaseModule, ModuleListIsInDescendingLoadOrder) {
    BS_DlNode* n = Real().BS_DlGetList();
    ASSERT_NE(n, nullptr);
    int count = 0;
    bool sawBase = false;
    for (; n; n = n->next, ++count) {
        if (n->next) {
            EXPECT_GT(n->base, n->next->base);
        }
        sawBase = sawBase || std::string(n->name) == "Base.so";
        EXPECT_EQ(std::string(n->name).find('/'), std::string::npos);
    }
    EXPECT_GT(count, 3);
    EXPECT_TRUE(sawBase);
}

TEST(BaseModule, ZlibIsReachedThroughTheHandleOfBase) {
    RealBase& b = Real();
    void* self = b.BS_DlOpen("Base");
    ASSERT_NE(self, nullptr);
    auto c2 = (int (*)(Bytef*, uLongf*, const Bytef*, uLong, int))b.BS_DlGetProc(self, "compress2");
    auto un = (int (*)(Bytef*, uLongf*, const Bytef*, uLong))b.BS_DlGetProc(self, "uncompress");
    ASSERT_TRUE(c2 && un);
    std::string src(10000, 'v');
    std::vector<Bytef> packed(compressBound(src.size())), back(src.size());
    uLongf plen = packed.size(), blen = back.size();
    ASSERT_EQ(c2(packed.data(), &plen, (const Bytef*)src.data(), src.size(), 9), Z_OK);
    EXPECT_EQ(packed[0], 0x78);
    EXPECT_EQ(packed[1], 0xDA);
    ASSERT_EQ(un(back.data(), &blen, packed.data(), plen), Z_OK);
    EXPECT_EQ(std::string(back.begin(), back.end()), src);
    b.BS_DlClose(self);
}

TEST(BaseModule, ModuleNamesMapToFilesAndCanBeRedirected) {
    RealBase& b = Real();
    EXPECT_EQ(b.BS_DlOpen("NoSuchModule"), nullptr);
    EXPECT_EQ(b.BS_DlOpen(""), nullptr);
    EXPECT_EQ(b.BS_DlGetProc(nullptr, "x"), nullptr);
    // "OpenGL32.dll" redirected to zlib: the handle is whatever the variable names.
    setenv("VELMAR_MODULE_OPENGL32_DLL", "libz.so.1", 1);
    void* h = b.BS_DlOpen("OpenGL32.dll");
    unsetenv("VELMAR_MODULE_OPENGL32_DLL");
    ASSERT_NE(h, nullptr);
    EXPECT_NE(b.BS_DlGetProc(h, "inflate"), nullptr);
    b.BS_DlClose(h);
    setenv("VELMAR_MODULE_WM", "/nonexistent/WM.so", 1);
    EXPECT_EQ(b.BS_DlOpen("WM"), nullptr);
    unsetenv("VELMAR_MODULE_WM");
}

TEST(BaseModule, VirtualClockAdvancesOnlyPerStep) {
    Init({"--step", "1000/30"});
    RealBase& b = Real();
    ASSERT_EQ(b.BS_TimerIsVirtual(), 1);
    b.BS_TimerReset();
    EXPECT_EQ(b.BS_TimerGet(), 0);
    for (int i = 0; i < 30; ++i) b.BS_TimerStep();
    EXPECT_EQ(b.BS_TimerGet(), 1000);  // exact after 30 steps of 33.33 ms
    for (int i = 0; i < 30 * 249 + 1; ++i) b.BS_TimerStep();
    EXPECT_EQ(b.BS_TimerGet(), 250033);
    b.BS_TimerPause(1);
    b.BS_TimerStep();
    EXPECT_EQ(b.BS_TimerGet(), 250033);
    b.BS_TimerPause(0);
    b.BS_TimerReset();
    EXPECT_EQ(b.BS_TimerGet(), 0);
    Init({"--step", "40"});
    b.BS_TimerStep();
    EXPECT_EQ(b.BS_TimerGet(), 40);
}

TEST(BaseModule, RealClockCountsMilliseconds) {
    Init({});
    RealBase& b = Real();
    EXPECT_EQ(b.BS_TimerIsVirtual(), 0);
    b.BS_TimerReset();
    b.BS_TimerStep();  // no effect on the real clock
    b.BS_Sleep(30);
    int32_t t = b.BS_TimerGet();
    EXPECT_GE(t, 30);
    EXPECT_LT(t, 1000);
    b.BS_TimerPause(1);
    int32_t p = b.BS_TimerGet();
    b.BS_Sleep(20);
    EXPECT_EQ(b.BS_TimerGet(), p);
    b.BS_TimerPause(0);
}

TEST(BaseModule, HomeIsTheProgramsFolder) {
    Init({});
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    std::string dir(exe);
    dir.erase(dir.rfind('/') + 1);
    EXPECT_EQ(std::string(Real().BS_PathGet(1, "")), dir);
    EXPECT_EQ(std::string(Real().BS_PathGet(1, "x.cfg")), dir + "x.cfg");
    std::string tmp = Real().BS_PathGet(2, "");
    EXPECT_EQ(tmp.back(), '/');
}

}  // namespace
