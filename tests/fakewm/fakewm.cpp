// The fake window manager: the WM module's entry points without a window,
// for tests that need keys pressed, the window closed or the module failing.
// GL is whatever "OpenGL32.dll" is (the recording GL in practice). Read at
// wmPreInit: VELMAR_FAKEWM_TRACE, a file each call is appended to as a line
// ("wmSetTitle(7, <title>)", "wmUpdate"); VELMAR_FAKEWM_KEYS, keys held by the
// show clock ("27@5000,32@2000-4000": Escape from 5000 ms on, Space from 2000
// up to 4000), set at each wmUpdate after its step; "82#3" or "82#3-5" holds a
// key by play frame instead (frames presented since the first clock reset:
// R from frame 3 on, or while frames 3 and 4 are drawn), for runs whose
// clock jumps;
// VELMAR_FAKEWM_CLOSE, the
// clock from which option 9 answers 1; VELMAR_FAKEWM_FAIL, "preinit", "init"
// or "create" failing; VELMAR_FAKEWM_SIZE "WxH", what options 5 and 6 report.
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
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
    bool byFrame;   // the range counts play frames
};
struct Fake {
    WmBaseLink base;
    WmSettings settings;
    uint8_t keys[WM_KEY_COUNT];
    std::vector<HeldKey> held;
    long closeAt = -1;
    std::string fail;
    int fd = -1, areaW = 0, areaH = 0;
    long playFrames = 0;  // presented since the first clock reset
} g;

// One trace line from its pieces: text as it is, numbers in decimal.
std::string piece(const char* text) { return text ? text : ""; }
template <class T>
std::string piece(T number) { return std::to_string(number); }
template <class... A>
void trace(A... pieces) {
    std::string l = (piece(pieces) + ... + "\n");
    if (g.fd >= 0 && write(g.fd, l.data(), l.size()) < 0) {}
}

int32_t clockNow() { return g.base.BS_TimerGet ? g.base.BS_TimerGet() : 0; }
}  // namespace

WM_EXPORT int32_t wmPreInit(void) {
    if (g.fd >= 0) close(g.fd);
    g = Fake{};
    g.base = wmFindBase((const void*)&wmPreInit);
    if (const char* t = getenv("VELMAR_FAKEWM_TRACE"); t && *t)
        g.fd = open(t, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    for (const char* s = getenv("VELMAR_FAKEWM_KEYS"); s && *s;) {
        HeldKey k{0, 0, -1, false};
        int used = 0;
        char at = 0;
        if (sscanf(s, "%d%c%ld%n", &k.code, &at, &k.from, &used) < 3 || (at != '@' && at != '#')) break;
        k.byFrame = at == '#';
        s += used;
        if (*s == '-' && sscanf(s + 1, "%ld%n", &k.to, &used) == 1) s += 1 + used;
        if (k.code >= 0 && k.code < WM_KEY_COUNT) g.held.push_back(k);
        if (*s++ != ',') break;
    }
    if (const char* c = getenv("VELMAR_FAKEWM_CLOSE"); c && *c) g.closeAt = atol(c);
    if (const char* f = getenv("VELMAR_FAKEWM_FAIL")) g.fail = f;
    // width, height, bpp, fullscreen, vsync, soundoff, headless, textureoption, captureaudio
    g.settings = {wmIntOption(g.base, "--width", 1024), wmIntOption(g.base, "--height", 768), 32, 0,
                  !wmFlagOption(g.base, "--novsync"), wmFlagOption(g.base, "--nosound"), 1, 0, 0};
    g.areaW = g.settings.width, g.areaH = g.settings.height;
    if (const char* s = getenv("VELMAR_FAKEWM_SIZE")) sscanf(s, "%dx%d", &g.areaW, &g.areaH);
    trace("wmPreInit");
    return g.fail == "preinit" ? 1 : 0;
}
WM_EXPORT int32_t wmInit(const char* title) {
    trace("wmInit(", title, ")");
    return g.fail == "init" ? 1 : 0;
}
WM_EXPORT void wmDone(void) { trace("wmDone"); }
WM_EXPORT void wmUnLoad(void) {
    trace("wmUnLoad");
    if (g.fd >= 0) close(g.fd), g.fd = -1;
}
WM_EXPORT uint32_t wmCreateWindow(int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags,
                                  const char* title) {
    trace("wmCreateWindow(", x, ", ", y, ", ", width, ", ", height, ", ", flags, ", ", title, ")");
    return g.fail == "create" ? 0 : 7;
}
WM_EXPORT void wmDestroyWindow(uint32_t window) { trace("wmDestroyWindow(", window, ")"); }
WM_EXPORT int32_t wmDirectRendering(uint32_t) { return 1; }
WM_EXPORT void wmSetTitle(uint32_t window, const char* title) { trace("wmSetTitle(", window, ", ", title, ")"); }
WM_EXPORT void MsgBox(const char* text) { trace("MsgBox(", text, ")"); }
WM_EXPORT void wmUpdate(void) {
    if (g.base.BS_TimerStep) g.base.BS_TimerStep();
    if (g.base.BS_TimerResets && g.base.BS_TimerResets() > 0) g.playFrames++;
    for (int i = 0; i < WM_KEY_COUNT; ++i) g.keys[i] = 0;
    for (const HeldKey& k : g.held) {
        long t = k.byFrame ? g.playFrames : clockNow();
        if (t >= k.from && (k.to < 0 || t < k.to)) g.keys[k.code] = 1;
    }
    trace("wmUpdate");
}

WM_EXPORT intptr_t wmOptions(int32_t option, uint32_t window, intptr_t value) {
    // The per-frame close query is written too: tests count frames by it.
    trace("wmOptions(", option, ", ", window, ", ", value, ")");
    switch (option) {
    case WM_OPTION_WIDTH: return g.areaW;
    case WM_OPTION_HEIGHT: return g.areaH;
    case WM_OPTION_KEYS: return (intptr_t)g.keys;
    case WM_OPTION_CLOSED: return g.closeAt >= 0 && clockNow() >= g.closeAt ? 1 : 0;
    case WM_OPTION_READY: return 1;
    case WM_OPTION_SETTINGS: return (intptr_t)&g.settings;
    default: return 0;
    }
}

WM_EXPORT void* wmGetProcAddress(const char* name) {
    const char* gl = getenv("VELMAR_MODULE_OPENGL32_DLL");
    void* h = gl && *gl && name ? dlopen(gl, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD) : nullptr;
    void* p = h ? dlsym(h, name) : nullptr;
    if (h) dlclose(h);
    return p;
}
