#include "wm.h"

#include <cstring>
#include <string>

#include "../glbind/glbind.h"
#include "frame.h"

WindowManagerModule WM;
WindowState Window;

namespace {

// The entry points the program calls; a module without one of them is
// refused at binding rather than called through a null slot later.
const char* firstMissingEntry(const WindowManagerModule& m) {
#define WM_CALLED(name) \
    if (!m.name) return #name;
    WM_CALLED(wmPreInit)
    WM_CALLED(wmInit)
    WM_CALLED(wmDone)
    WM_CALLED(wmUnLoad)
    WM_CALLED(wmCreateWindow)
    WM_CALLED(wmSetTitle)
    WM_CALLED(wmUpdate)
    WM_CALLED(MsgBox)
    WM_CALLED(wmOptions)
#undef WM_CALLED
    return nullptr;
}

}  // namespace

void WmBind() {
    WM = WindowManagerModule{};
    Window = WindowState{};
    void* h = Base.BS_DlOpen("WM");
    if (!h) FatalStop("WM not loaded, please reinstall this software.");
    WindowManagerModule m{};
#define WM_BIND(ret, name, params) m.name = (ret(*) params)Base.BS_DlGetProc(h, #name);
    WM_API_LIST(WM_BIND)
    WM_EXTRA_LIST(WM_BIND)
#undef WM_BIND
    if (const char* missing = firstMissingEntry(m)) {
        // Not usable: FatalStop must not call into it.
        Base.BS_DlClose(h);
        FatalStop(S("WM entry point ") + missing + " not found, please reinstall this software.");
    }
    m.handle = h;
    WM = m;
    GlExtLoader = WM.wmGetProcAddress;
    if (WM.wmPreInit() == 1) FatalStop("Error during WM initialization.");
}

void WmUnbind() {
    if (WM.handle) {
        WM.wmUnLoad();
        Base.BS_DlClose(WM.handle);
    }
    WM = WindowManagerModule{};
    Window = WindowState{};
    GlExtLoader = nullptr;
}

void WmRegisterUnit() {
    RegisterInit(S("Window manager ..."), 1, WmBind);
    RegisterExit(S("Uninit window manager ..."), 1, WmUnbind);
}

int32_t OpenWindow(const char* title) {
    if (!WM.handle) return 1;
    // The title may live in the shared conversion buffer: keep a copy.
    std::string name = title ? title : "";
    int32_t status = WM.wmInit(name.c_str());
    if (status != 0) return status;
    Window.settings = (const WmSettings*)WM.wmOptions(WM_OPTION_SETTINGS, 0, 0);
    Window.window = WM.wmCreateWindow(0, 0, WindowSetting(WindowSettingWidth), WindowSetting(WindowSettingHeight),
                                      WM_CREATE_FLAGS, name.c_str());
    if (Window.window == 0) return 1;
    glInitExt();
    glCheckDriverLimits();
    Window.keys = (const uint8_t*)WM.wmOptions(WM_OPTION_KEYS, Window.window, 0);
    WM.wmOptions(WM_OPTION_READY, Window.window, 0);
    return 0;
}

void SetWindowTitle(const ShortString& title) {
    if (WM.handle) WM.wmSetTitle(Window.window, ToCString(title));
}

int32_t WindowWidth() { return WM.handle ? (int32_t)WM.wmOptions(WM_OPTION_WIDTH, Window.window, 0) : 0; }
int32_t WindowHeight() { return WM.handle ? (int32_t)WM.wmOptions(WM_OPTION_HEIGHT, Window.window, 0) : 0; }

bool WindowClosed() { return WM.handle && WM.wmOptions(WM_OPTION_CLOSED, Window.window, 0) == 1; }

uint8_t KeyState(int code) { return Window.keys && code >= 0 && code < WM_KEY_COUNT ? Window.keys[code] : 0; }

int32_t WindowSetting(WindowSettingField field) {
    if (!Window.settings) return 0;
    int32_t v;
    std::memcpy(&v, (const char*)Window.settings + (int)field, sizeof v);
    return v;
}
