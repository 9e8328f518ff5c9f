/* wm_api.h - the window-manager module's interface (Modules/WM.so).

   The module gives the program its one window with an OpenGL context, the
   window's events, a key-state table, the user's display settings and a
   message box. The program binds it by name:

     WM_API_LIST(X)   the eleven names the program binds, in binding order
     WM_EXTRA_LIST(X) entry points of our own, bound the same way

   X(ret, name, params). Everything is plain C; a window handle is a 32-bit
   number, 0 meaning none. */
#ifndef VELMAR_WM_API_H
#define VELMAR_WM_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The settings record (wmOptions 12). The program reads it by byte offset:
   width 0, height 4, sound off 20, texture option 28. */
typedef struct WmSettings {
    int32_t width;         /* 0: window width (--width, default 1024) */
    int32_t height;        /* 4: window height (--height, default 768) */
    int32_t bpp;           /* 8: colour bits of the window, 32 */
    int32_t fullscreen;    /* 12: 1 with --fullscreen */
    int32_t vsync;         /* 16: 0 with --novsync */
    int32_t soundoff;      /* 20: 1 with --nosound */
    int32_t headless;      /* 24: 1 when drawing without a display */
    int32_t textureoption; /* 28: handed to the texture loader as its option 2 */
    int32_t captureaudio;  /* 32: 1 while --capture records the sound: the sound
                              system opens an OpenAL loopback device in the
                              capture's format instead of a sound card */
} WmSettings;

/* The sound of a capture: the sound system renders it through OpenAL Soft's
   loopback device in this format, the window manager pulls one frame's
   worth at each presented frame. */
#define WM_CAPTURE_RATE 44100
#define WM_CAPTURE_CHANNELS 2 /* interleaved 32-bit float, left first */

/* wmOptions option numbers. */
enum {
    WM_OPTION_WIDTH = 5,     /* current drawing-area width in pixels */
    WM_OPTION_HEIGHT = 6,    /* current drawing-area height in pixels */
    WM_OPTION_KEYS = 8,      /* address of the key-state table */
    WM_OPTION_CLOSED = 9,    /* 1 after the close button or a quit request */
    WM_OPTION_READY = 11,    /* 1 while the window has a current GL context */
    WM_OPTION_SETTINGS = 12  /* address of the settings record */
};

/* Key-state table: one byte per key code, non-zero while the key is down.
   27 Escape, 32 Space, digits 48-57, letters by their upper-case code
   (65-90) whatever the case typed, 36 Home, 37 Left, 38 Up, 39 Right,
   40 Down; other keys below 128 by their ASCII code, except the characters
   whose codes the keys above take ($ % & ' ( are not in the table). */
#define WM_KEY_COUNT 256
#define WM_KEY_ESCAPE 27
#define WM_KEY_SPACE 32
#define WM_KEY_HOME 36
#define WM_KEY_LEFT 37
#define WM_KEY_UP 38
#define WM_KEY_RIGHT 39
#define WM_KEY_DOWN 40

/* wmCreateWindow's flags value as the program passes it. */
#define WM_CREATE_FLAGS 9

#define WM_API_LIST(X) \
    X(int32_t, wmPreInit, (void)) \
    X(int32_t, wmInit, (const char* title)) \
    X(void, wmDone, (void)) \
    X(void, wmUnLoad, (void)) \
    X(uint32_t, wmCreateWindow, (int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags, const char* title)) \
    X(void, wmDestroyWindow, (uint32_t window)) \
    X(int32_t, wmDirectRendering, (uint32_t window)) \
    X(void, wmSetTitle, (uint32_t window, const char* title)) \
    X(void, wmUpdate, (void)) \
    X(void, MsgBox, (const char* text)) \
    X(intptr_t, wmOptions, (int32_t option, uint32_t window, intptr_t value))

/* Extension entry points of the current GL context, 0 when unknown;
   wmCaptureFailed: 1 once a capture asked for could not be written whole
   (the program then ends with 1, never 0). */
#define WM_EXTRA_LIST(X) \
    X(void*, wmGetProcAddress, (const char* name)) \
    X(int32_t, wmCaptureFailed, (void))

#ifdef __cplusplus
}
#endif

#endif
