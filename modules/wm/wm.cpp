// Window-manager module (Modules/WM.so), on SDL2.
//
// Owns: the one window and its OpenGL context (compatibility profile, depth
// 24, stencil 8, alpha 8, double buffered), the window's events, the
// key-state table, the settings record filled from the command line
// (--width, --height, --fullscreen, --novsync, --nosound, through the Base
// module's option store) and the message box. Without a display it draws
// through SDL's offscreen driver (EGL). With --step every wmUpdate advances
// the Base module's virtual clock by one frame. The capture of the presented
// frames to video and pictures (--capture, --shots, --contact-sheet) is its
// own unit, capture.h; SIGINT and SIGTERM, and the end of a frame that never
// ends, are wmsignal.h.
//
// Plain C at the boundary; nothing throws out of it.

#include <SDL2/SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "capture.h"
#include "wm_api.h"
#include "wm_base.h"
#include "wmsignal.h"

#define WM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct WmState {
    WmBaseLink base;
    WmSettings settings;
    uint8_t keys[WM_KEY_COUNT];
    bool videoUp;   // SDL's video subsystem is initialised
    bool closed;    // close button or quit request seen
    SDL_Window* window;
    SDL_GLContext context;
    uint32_t handle;
} g;

bool hasDisplay() {
    const char* x = getenv("DISPLAY");
    const char* w = getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

void log(const std::string& line) { wmLog(g.base, "[wm] " + line); }

void fillSettings() {
    WmSettings& s = g.settings;
    s = WmSettings{};
    s.width = wmIntOption(g.base, "--width", 1024);
    s.height = wmIntOption(g.base, "--height", 768);
    s.bpp = 32;
    s.fullscreen = wmFlagOption(g.base, "--fullscreen") ? 1 : 0;
    s.vsync = wmFlagOption(g.base, "--novsync") ? 0 : 1;
    s.soundoff = wmFlagOption(g.base, "--nosound") ? 1 : 0;
    s.textureoption = 0;
}

// SDL's key to the table's code, -1 for a key the table has no code for.
int keyCode(SDL_Keycode sym) {
    switch (sym) {
    case SDLK_HOME: return WM_KEY_HOME;
    case SDLK_LEFT: return WM_KEY_LEFT;
    case SDLK_UP: return WM_KEY_UP;
    case SDLK_RIGHT: return WM_KEY_RIGHT;
    case SDLK_DOWN: return WM_KEY_DOWN;
    default: break;
    }
    if (sym >= 'a' && sym <= 'z') return sym - 'a' + 'A';
    if (sym >= WM_KEY_HOME && sym <= WM_KEY_DOWN) return -1;  // their codes name the keys above
    return sym >= 0 && sym < 128 ? sym : -1;
}

void onKey(const SDL_KeyboardEvent& k, uint8_t down) {
    int code = keyCode(k.keysym.sym);
    if (code >= 0) g.keys[code] = down;
}

void pumpEvents() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT:
            g.closed = true;
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) g.closed = true;
            // A key released while another window had the focus never
            // reaches us: forget what was held.
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) memset(g.keys, 0, sizeof g.keys);
            break;
        case SDL_KEYDOWN:
            onKey(e.key, 1);
            break;
        case SDL_KEYUP:
            onKey(e.key, 0);
            break;
        default:
            break;
        }
    }
}

void closeWindow() {
    if (g.window) sigWindowOpen(false);
    if (g.context) SDL_GL_DeleteContext(g.context);
    if (g.window) SDL_DestroyWindow(g.window);
    g.context = nullptr;
    g.window = nullptr;
    g.handle = 0;
}

void logContext() {
    using GetString = const unsigned char* (*)(unsigned int);
    GetString getString = (GetString)SDL_GL_GetProcAddress("glGetString");
    int depth = 0, stencil = 0, alpha = 0, doubled = 0;
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
    SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &alpha);
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubled);
    auto text = [&](unsigned int what) {
        const unsigned char* s = getString ? getString(what) : nullptr;
        return std::string(s ? (const char*)s : "?");
    };
    log("OpenGL " + text(0x1F02) + " on " + text(0x1F01) + ": depth " + std::to_string(depth) + ", stencil " +
        std::to_string(stencil) + ", alpha " + std::to_string(alpha) + (doubled ? ", double buffered" : ""));
}

}  // namespace

// Reads the settings and brings up SDL's video: 1 when that fails.
WM_EXPORT int32_t wmPreInit(void) {
    g.base = wmFindBase((const void*)&wmPreInit);
    fillSettings();
    memset(g.keys, 0, sizeof g.keys);
    g.closed = false;
    // Our own handlers: SDL's would only queue a quit event, which a frame
    // that never ends never reads.
    sigInstall(g.base);
    if (!g.videoUp) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (!hasDisplay() && !getenv("SDL_VIDEODRIVER")) {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
            log("no display: drawing offscreen (SDL offscreen driver)");
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            log(std::string("cannot start SDL video: ") + SDL_GetError());
            return 1;
        }
        g.videoUp = true;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    log(std::string("video driver: ") + (driver ? driver : "?"));
    g.settings.headless = driver && !strcmp(driver, "offscreen") ? 1 : 0;
    if (g.settings.headless) g.settings.fullscreen = 0;
    if (g.settings.fullscreen) {
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.w > 0 && mode.h > 0) {
            g.settings.width = mode.w;
            g.settings.height = mode.h;
        }
    }
    capPrepare(g.base, g.settings);
    return 0;
}

WM_EXPORT int32_t wmInit(const char* /*title*/) { return g.videoUp ? 0 : 1; }

WM_EXPORT uint32_t wmCreateWindow(int32_t x, int32_t y, int32_t width, int32_t height, int32_t /*flags*/,
                                  const char* title) {
    if (!g.videoUp || width <= 0 || height <= 0) return 0;
    if (g.window) return g.handle;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // A capture keeps the size it started with.
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | (capActive() ? 0 : SDL_WINDOW_RESIZABLE);
    if (g.settings.fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    int px = (x == 0 && y == 0) ? (int)SDL_WINDOWPOS_CENTERED : x;
    int py = (x == 0 && y == 0) ? (int)SDL_WINDOWPOS_CENTERED : y;
    g.window = SDL_CreateWindow(title ? title : "", px, py, width, height, flags);
    if (!g.window) {
        log(std::string("cannot create the window: ") + SDL_GetError());
        return 0;
    }
    g.context = SDL_GL_CreateContext(g.window);
    if (!g.context) {
        log(std::string("cannot create the OpenGL context: ") + SDL_GetError());
        closeWindow();
        return 0;
    }
    SDL_GL_MakeCurrent(g.window, g.context);
    if (SDL_GL_SetSwapInterval(g.settings.vsync ? 1 : 0) != 0 && g.settings.vsync && !g.settings.headless)
        log("the display's refresh cannot be waited for here");
    if (g.settings.fullscreen) SDL_ShowCursor(SDL_DISABLE);
    logContext();
    memset(g.keys, 0, sizeof g.keys);
    g.closed = false;
    sigWindowOpen(true);
    g.handle = SDL_GetWindowID(g.window);
    if (g.handle == 0) g.handle = 1;
    if (capActive()) {
        int w = width, h = height;
        SDL_GL_GetDrawableSize(g.window, &w, &h);
        capWindowReady(w, h);
    }
    return g.handle;
}

WM_EXPORT void wmDestroyWindow(uint32_t window) {
    if (window && window == g.handle) closeWindow();
}

WM_EXPORT int32_t wmDirectRendering(uint32_t window) { return window && window == g.handle && g.context ? 1 : 0; }

WM_EXPORT void wmSetTitle(uint32_t window, const char* title) {
    if (g.window && window == g.handle) SDL_SetWindowTitle(g.window, title ? title : "");
}

// Presents the frame, takes the window's events, advances a virtual clock.
WM_EXPORT void wmUpdate(void) {
    bool shown = true;
    if (g.window && g.context && capActive()) {
        // The back buffer holds the frame until the swap.
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(g.window, &w, &h);
        shown = capFrame(w, h);
    }
    if (g.window && g.context && shown) SDL_GL_SwapWindow(g.window);
    sigFramePresented();
    if (g.videoUp) pumpEvents();
    if (sigQuitRequested()) g.closed = true;
    if (capWantsEnd()) g.closed = true;
    if (g.base.BS_TimerStep) g.base.BS_TimerStep();
}

WM_EXPORT intptr_t wmOptions(int32_t option, uint32_t /*window*/, intptr_t /*value*/) {
    switch (option) {
    case WM_OPTION_WIDTH:
    case WM_OPTION_HEIGHT: {
        int w = g.settings.width, h = g.settings.height;
        if (g.window) SDL_GL_GetDrawableSize(g.window, &w, &h);
        return option == WM_OPTION_WIDTH ? w : h;
    }
    case WM_OPTION_KEYS:
        return (intptr_t)g.keys;
    case WM_OPTION_CLOSED:
        return g.closed || sigQuitRequested() ? 1 : 0;
    case WM_OPTION_READY:
        return g.context && SDL_GL_GetCurrentContext() == g.context ? 1 : 0;
    case WM_OPTION_SETTINGS:
        return (intptr_t)&g.settings;
    default:
        return 0;
    }
}

// Closes the window; the module stays usable for the message box. A capture
// ends here, on every way out of the show (its end, Escape, a fatal stop).
WM_EXPORT int32_t wmCaptureFailed(void) { return capFailed() ? 1 : 0; }

WM_EXPORT void wmDone(void) {
    capFinish();
    closeWindow();
}

WM_EXPORT void wmUnLoad(void) {
    capFinish();
    closeWindow();
    if (g.videoUp) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_Quit();
    g.videoUp = false;
    sigRemove();
}

// A box where there is a screen to show it on, standard error otherwise.
WM_EXPORT void MsgBox(const char* text) {
    const char* t = text ? text : "";
    bool shown = false;
    if (!g.settings.headless && hasDisplay())
        shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "vexil2", t, nullptr) == 0;
    if (!shown) {
        fprintf(stderr, "%s\n", t);
        fflush(stderr);
    }
}

WM_EXPORT void* wmGetProcAddress(const char* name) {
    return g.context && name ? SDL_GL_GetProcAddress(name) : nullptr;
}
