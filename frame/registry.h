// registry.h - subsystem registry and the debug log front end.
//
// Each unit that wraps an outside module records a named init and a named
// exit procedure at its fixed slot (0..31). RunInits calls the init table in
// ascending slot order; RunExits calls the exit table in descending order and
// ends the process. Slots: 0 Base, 1 window manager, 2 OpenGL, 3 GLU,
// 4 texture loader, 5 OpenAL, 6 Vorbis, 7 sound system.
//
// Every log line of the program goes through LogLine/LogText to BS_DbgLog;
// ToCString turns a ShortString into a C string in the shared PasStr buffer.
#pragma once

#include "shortstring.h"

using SubsystemProc = void (*)();

struct SubsystemSlot {
    int32_t inuse;
    ShortString name;  // cut to 32 characters
    SubsystemProc proc;
};

const int SubsystemSlots = 32;

struct SubsystemTable {
    bool prepared;
    SubsystemSlot slot[SubsystemSlots];
};

struct SubsystemRegistry {
    SubsystemTable init, exit;
};

extern SubsystemRegistry Registry;

// A slot outside 0..31 is a fatal stop naming it.
void RegisterInit(const ShortString& name, int slot, SubsystemProc proc);
void RegisterExit(const ShortString& name, int slot, SubsystemProc proc);
void UnregisterInit(const ShortString& name);
void UnregisterExit(const ShortString& name);
void RunInits();
[[noreturn]] void RunExits(int code);

// How RunExits ends the process; tests replace it to stay alive.
using ProcessEnd = void (*)(int code);
void SetProcessEnd(ProcessEnd end);

void LogLine(const ShortString& text);
void LogText(const ShortString& text);
inline void LogLine(std::string_view text) { LogLine(S(text)); }
inline void LogText(std::string_view text) { LogText(S(text)); }

// Zero-terminated copy of `text`, valid until the next conversion anywhere.
char* ToCString(const ShortString& text);

// The PasStr buffer and its capacity (for tests of its growth).
struct PasStrState {
    char* buffer;
    int32_t capacity;
};
extern PasStrState PasStr;
