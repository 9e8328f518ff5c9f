// wm.h - binding of the window-manager module (Modules/WM.so).
//
// `WM` is the module's entry-point table; `Window` holds what the program
// keeps of it: the window handle, the module's settings record and key-state
// table. The frame registers slot 1 ("Window manager ...") for the binding;
// OpenWindow makes the window and runs the GL extension check. FatalStop
// closes the window and shows its message through this table.
#pragma once

#include <cstdint>

#include "../modules/wm/wm_api.h"
#include "shortstring.h"

struct WindowManagerModule {
    void* handle;
#define WM_SLOT(ret, name, params) ret(*name) params;
    WM_API_LIST(WM_SLOT)
    WM_EXTRA_LIST(WM_SLOT)
#undef WM_SLOT
};
extern WindowManagerModule WM;

struct WindowState {
    uint32_t window;           // 0 until OpenWindow made it
    const WmSettings* settings;
    const uint8_t* keys;       // WM_KEY_COUNT bytes, or null
};
extern WindowState Window;

// Registers "Window manager ..." / "Uninit window manager ..." at slot 1.
void WmRegisterUnit();

// Slot 1's procedures: bind the module (a missing module or entry point ends
// in FatalStop), and unload it.
void WmBind();
void WmUnbind();

// The window opener: 0 = window ready, 1 = no window made, else wmInit's
// status.
int32_t OpenWindow(const char* title);

void SetWindowTitle(const ShortString& title);
int32_t WindowWidth();
int32_t WindowHeight();

// True once the window has been closed or the user asked to quit.
bool WindowClosed();

// Key state from the module's table (non-zero while down); 0 without one.
uint8_t KeyState(int code);
inline bool KeyDown(int code) { return KeyState(code) != 0; }

// A 32-bit field of the settings record by its byte offset; 0 without one.
enum WindowSettingField {
    WindowSettingWidth = 0,
    WindowSettingHeight = 4,
    WindowSettingSoundOff = 20,
    WindowSettingTextureOption = 28,
};
int32_t WindowSetting(WindowSettingField field);
