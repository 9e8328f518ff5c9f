// The fake window manager: the WM module's entry points without a window,
// for tests that need keys pressed, the window closed or the module failing.
// Selected with VELMAR_MODULE_WM. The settings record is filled from the
// options as the real module fills it; GL is whatever "OpenGL32.dll" is
// (the recording GL in practice), and wmGetProcAddress looks names up there.
//
// Environment, read at wmPreInit:
//   VELMAR_FAKEWM_TRACE  a file each call is appended to as one line, e.g.
//                        "wmSetTitle(1, <title>)", "wmUpdate", "MsgBox(<text>)"
//                        (may be the recording GL's trace file: both append)
//   VELMAR_FAKEWM_KEYS   keys held by the show clock: "27@5000" (Escape down
//                        from 5000 ms on), "32@2000-4000" (Space down from
//                        2000 up to 4000 ms), comma separated. The table is
//                        set at each wmUpdate from the clock after its step.
//   VELMAR_FAKEWM_CLOSE  option 9 answers 1 once the clock reaches this
//   VELMAR_FAKEWM_FAIL   "preinit" (wmPreInit answers 1), "init" (wmInit
//                        answers 1) or "create" (wmCreateWindow answers 0)
//   VELMAR_FAKEWM_SIZE   the drawing area options 5 and 6 report, "WxH"
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "modules/wm/wm_api.h"
#include "modules/wm/wm_base.h"

#define WM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct HeldKey {
    int code;
    long from, to;  // clock range [from, to); to < 0: no end
};

struct Fake {
    WmBaseLink base;
    WmSettings settings;
    uint8_t keys[WM_KEY_COUNT];
    std::vector<HeldKey> held;
    long closeAt = -1;
    std::string fail;
    int fd = -1;
    uint32_t window = 0;
    int areaW = 0, areaH = 0;
} g;

void trace(const std::string& line) {
    if (g.fd < 0) return;
    std::string l = line + "\n";
    if (write(g.fd, l.data(), l.size()) < 0) {}
}

int32_t clockNow() { return g.base.BS_TimerGet ? g.base.BS_TimerGet() : 0; }

void parseKeys(const char* s) {
    g.held.clear();
    while (s && *s) {
        char* end = nullptr;
        HeldKey k{(int)strtol(s, &end, 10), 0, -1};
        if (end == s || *end != '@') break;
        s = end + 1;
        k.from = strtol(s, &end, 10);
        s = end;
        if (*s == '-') {
            k.to = strtol(s + 1, &end, 10);
            s = end;
        }
        if (k.code >= 0 && k.code < WM_KEY_COUNT) g.held.push_back(k);
        if (*s == ',') ++s;
        else break;
    }
}

void setKeys() {
    memset(g.keys, 0, sizeof g.keys);
    long t = clockNow();
    for (const HeldKey& k : g.held)
        if (t >= k.from && (k.to < 0 || t < k.to)) g.keys[k.code] = 1;
}

}  // namespace

WM_EXPORT int32_t wmPreInit(void) {
    if (g.fd >= 0) close(g.fd);
    g = Fake{};
    g.base = wmFindBase((const void*)&wmPreInit);
    if (const char* t = getenv("VELMAR_FAKEWM_TRACE"); t && *t)
        g.fd = open(t, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    parseKeys(getenv("VELMAR_FAKEWM_KEYS"));
    if (const char* c = getenv("VELMAR_FAKEWM_CLOSE"); c && *c) g.closeAt = atol(c);
    if (const char* f = getenv("VELMAR_FAKEWM_FAIL")) g.fail = f;
    g.settings.width = wmIntOption(g.base, "--width", 1024);
    g.settings.height = wmIntOption(g.base, "--height", 768);
    g.settings.bpp = 32;
    g.settings.vsync = wmFlagOption(g.base, "--novsync") ? 0 : 1;
    g.settings.soundoff = wmFlagOption(g.base, "--nosound") ? 1 : 0;
    g.settings.headless = 1;
    g.areaW = g.settings.width;
    g.areaH = g.settings.height;
    if (const char* s = getenv("VELMAR_FAKEWM_SIZE")) sscanf(s, "%dx%d", &g.areaW, &g.areaH);
    trace("wmPreInit");
    return g.fail == "preinit" ? 1 : 0;
}

WM_EXPORT int32_t wmInit(const char* title) {
    trace(std::string("wmInit(") + (title ? title : "") + ")");
    return g.fail == "init" ? 1 : 0;
}

WM_EXPORT void wmDone(void) {
    trace("wmDone");
    g.window = 0;
}

WM_EXPORT void wmUnLoad(void) {
    trace("wmUnLoad");
    if (g.fd >= 0) close(g.fd);
    g.fd = -1;
}

WM_EXPORT uint32_t wmCreateWindow(int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags,
                                  const char* title) {
    char b[128];
    snprintf(b, sizeof b, "wmCreateWindow(%d, %d, %d, %d, %d, ", x, y, width, height, flags);
    trace(b + std::string(title ? title : "") + ")");
    if (g.fail == "create") return 0;
    g.window = 7;
    return g.window;
}

WM_EXPORT void wmDestroyWindow(uint32_t window) { trace("wmDestroyWindow(" + std::to_string(window) + ")"); }

WM_EXPORT int32_t wmDirectRendering(uint32_t window) { return 1; }

WM_EXPORT void wmSetTitle(uint32_t window, const char* title) {
    trace("wmSetTitle(" + std::to_string(window) + ", " + (title ? title : "") + ")");
}

WM_EXPORT void wmUpdate(void) {
    if (g.base.BS_TimerStep) g.base.BS_TimerStep();
    setKeys();
    trace("wmUpdate");
}

WM_EXPORT void MsgBox(const char* text) { trace(std::string("MsgBox(") + (text ? text : "") + ")"); }

WM_EXPORT intptr_t wmOptions(int32_t option, uint32_t window, intptr_t value) {
    // The per-frame close query is written too: tests count frames by it.
    trace("wmOptions(" + std::to_string(option) + ", " + std::to_string(window) + ", " + std::to_string(value) +
          ")");
    switch (option) {
    case WM_OPTION_WIDTH:
        return g.areaW;
    case WM_OPTION_HEIGHT:
        return g.areaH;
    case WM_OPTION_KEYS:
        return (intptr_t)g.keys;
    case WM_OPTION_CLOSED:
        return g.closeAt >= 0 && clockNow() >= g.closeAt ? 1 : 0;
    case WM_OPTION_READY:
        return 1;
    case WM_OPTION_SETTINGS:
        return (intptr_t)&g.settings;
    default:
        return 0;
    }
}

WM_EXPORT void* wmGetProcAddress(const char* name) {
    const char* gl = getenv("VELMAR_MODULE_OPENGL32_DLL");
    if (!gl || !*gl || !name) return nullptr;
    void* h = dlopen(gl, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!h) return nullptr;
    void* p = dlsym(h, name);
    dlclose(h);
    return p;
}
