#include "glwindow.h"

#include <dlfcn.h>
#include <stdlib.h>

#include "frame/frame.h"
#include "frame/wm.h"
#include "glbind/glbind.h"
#include "support.h"
#include "textures/texman.h"

bool OpenRealWindow(int width, int height, std::string* why, const std::vector<std::string>& options) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "VELMAR_MODULE_OPENGL32_DLL",
                             "VELMAR_MODULE_GLU32_DLL"})
        unsetenv(name);
    std::string base = ModuleDir() + "/Base.so";
    setenv("VELMAR_MODULE_BASE", base.c_str(), 1);
    setenv("VELMAR_MODULE_WM", (ModuleDir() + "/WM.so").c_str(), 1);
    setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
    auto fail = [&](const char* reason) { if (why) *why = reason; return false; };
    // The WM module reads its options from the loaded Base module.
    static void* realBase = nullptr;
    if (!realBase) realBase = dlopen(base.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!realBase) return fail(dlerror());
    std::vector<std::string> args = {"test", "--width", std::to_string(width), "--height", std::to_string(height)};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    void* reserved = nullptr;
    ((int (*)(void*, int, char**, void**))dlsym(realBase, "BS_BaseInit"))(nullptr, (int)args.size(), argv.data(),
                                                                          &reserved);
    WmBind(), GlBind(), GluBind();
    if (OpenWindow("test") != 0) return fail("the window manager made no window");
    TlBind(), tmReset(), tmSetLoaderOptions(0);
    GL.glViewport(0, 0, width, height);
    return true;
}

void CloseRealWindow() {
    TlUnbind();
    if (WM.handle) WM.wmDone();
    WmUnbind(), GluUnbind(), GlUnbind();
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
    for (size_t i = 0, n = bits / 8; i < (size_t)width * height * n; i += n) {
        t += {(char)pixels[i + 2], (char)pixels[i + 1], (char)pixels[i]};  // stored as BGR(A)
        if (n == 4) t += (char)pixels[i + 3];
    }
    return t;
}

std::string SolidTga(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> px;
    for (int i = 0; i < width * height; ++i) px.insert(px.end(), {r, g, b});
    return TgaImage(width, height, 24, px);
}
