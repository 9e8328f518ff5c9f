#include "registry.h"

#include <stdio.h>
#include <unistd.h>

#include "base.h"
#include "frame.h"

SubsystemRegistry Registry;
PasStrState PasStr;

namespace {

ProcessEnd g_end = nullptr;

void prepare(SubsystemTable& t) {
    if (t.prepared) return;
    for (SubsystemSlot& s : t.slot) s = SubsystemSlot{0, S(""), nullptr};
    t.prepared = true;
}

void put(SubsystemTable& t, const ShortString& name, int slot, SubsystemProc proc) {
    if (slot < 0 || slot >= SubsystemSlots)
        FatalStop(S("Subsystem slot ") + std::to_string(slot) + " of \"" + ssLeft(name, 32) + "\" is outside 0.." +
                  std::to_string(SubsystemSlots - 1) + ".");
    prepare(t);
    t.slot[slot] = SubsystemSlot{1, ssLeft(name, 32), proc};
}

void remove(SubsystemTable& t, const ShortString& name) {
    ShortString cut = ssLeft(name, 32);
    for (SubsystemSlot& s : t.slot)
        if (s.name == cut) {
            s.inuse = 0;
            return;
        }
}

}  // namespace

void RegisterInit(const ShortString& name, int slot, SubsystemProc proc) { put(Registry.init, name, slot, proc); }
void RegisterExit(const ShortString& name, int slot, SubsystemProc proc) { put(Registry.exit, name, slot, proc); }
void UnregisterInit(const ShortString& name) { remove(Registry.init, name); }
void UnregisterExit(const ShortString& name) { remove(Registry.exit, name); }

void RunInits() {
    LogLine("[init] --- subsystems");
    for (int i = 0; i < SubsystemSlots; ++i) {
        SubsystemSlot& s = Registry.init.slot[i];
        if (!s.inuse) continue;
        LogLine("[init] -------------------------");
        LogLine(S("[init] call : ") + s.name);
        if (s.proc) s.proc();
    }
    LogLine("[init] --- end");
}

void SetProcessEnd(ProcessEnd end) { g_end = end; }

void RunExits(int code) {
    LogLine("[exit] --- subsystems");
    for (int i = SubsystemSlots - 1; i >= 0; --i) {
        SubsystemSlot& s = Registry.exit.slot[i];
        if (!s.inuse) continue;
        LogLine(S("[exit] call : ") + s.name);
        if (s.proc) s.proc();
    }
    LogLine("[exit]");
    if (g_end) g_end(code);
    fflush(stdout);
    fflush(stderr);
    // No atexit run: libraries the exit procedures closed must not be entered.
    _exit(code);
}

char* ToCString(const ShortString& text) {
    if (!PasStr.buffer || text.len > PasStr.capacity) {
        void* old = PasStr.buffer;
        Base.BS_MemFree(&old);
        PasStr.buffer = (char*)Base.BS_MemGet((size_t)text.len + 5, "PasStr");
        PasStr.capacity = text.len;
    }
    memcpy(PasStr.buffer, text.text, text.len);
    PasStr.buffer[text.len] = 0;
    return PasStr.buffer;
}

void LogLine(const ShortString& text) {
    if (!Base.BS_DbgLog) return;
    Base.BS_DbgLog(ToCString(text + "\n"));
}

void LogText(const ShortString& text) {
    if (!Base.BS_DbgLog) return;
    Base.BS_DbgLog(ToCString(text));
}
