#include "glwindow.h"

#include <dlfcn.h>
#include <stdlib.h>

#include "frame/frame.h"
#include "frame/wm.h"
#include "glbind/glbind.h"
#include "support.h"
#include "textures/texman.h"

namespace {
void* g_realBase = nullptr;
}

bool OpenRealWindow(int width, int height, std::string* why, const std::vector<std::string>& options) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("VELMAR_MODULE_OPENGL32_DLL");
    unsetenv("VELMAR_MODULE_GLU32_DLL");
    std::string base = ModuleDir() + "/Base.so";
    setenv("VELMAR_MODULE_BASE", base.c_str(), 1);
    setenv("VELMAR_MODULE_WM", (ModuleDir() + "/WM.so").c_str(), 1);
    setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
    // The WM module reads its options from the loaded Base module.
    if (!g_realBase) g_realBase = dlopen(base.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!g_realBase) {
        if (why) *why = dlerror();
        return false;
    }
    auto init = (int (*)(void*, int, char**, void**))dlsym(g_realBase, "BS_BaseInit");
    std::string w = std::to_string(width), h = std::to_string(height);
    std::vector<std::string> args = {"test", "--width", w, "--height", h};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    void* reserved = nullptr;
    init(nullptr, (int)args.size(), argv.data(), &reserved);
    WmBind();
    GlBind();
    GluBind();
    if (OpenWindow("test") != 0) {
        if (why) *why = "the window manager made no window";
        return false;
    }
    TlBind();
    tmReset();
    tmSetLoaderOptions(0);
    GL.glViewport(0, 0, width, height);
    return true;
}

void CloseRealWindow() {
    TlUnbind();
    if (WM.handle) WM.wmDone();
    WmUnbind();
    GluUnbind();
    GlUnbind();
}

std::vector<uint8_t> ReadRGBA(int x, int y, int width, int height) {
    std::vector<uint8_t> px((size_t)width * (size_t)height * 4);
    GL.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    GL.glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    return px;
}

uint32_t PixelAt(int x, int y) {
    auto p = ReadRGBA(x, y, 1, 1);
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

std::string TgaImage(int width, int height, int bits, const std::vector<uint8_t>& pixels) {
    std::string t(18, '\0');
    t[2] = 2;  // uncompressed true colour
    t[12] = (char)(width & 255), t[13] = (char)(width >> 8);
    t[14] = (char)(height & 255), t[15] = (char)(height >> 8);
    t[16] = (char)bits;
    t[17] = (char)(0x20 | (bits == 32 ? 8 : 0));  // top row first
    int n = bits / 8;
    for (int i = 0; i < width * height; ++i) {
        const uint8_t* p = &pixels[(size_t)i * n];
        t += (char)p[2], t += (char)p[1], t += (char)p[0];  // stored as BGR(A)
        if (n == 4) t += (char)p[3];
    }
    return t;
}

std::string SolidTga(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> px;
    for (int i = 0; i < width * height; ++i) px.push_back(r), px.push_back(g), px.push_back(b);
    return TgaImage(width, height, 24, px);
}
