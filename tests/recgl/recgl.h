// recgl.h - the tests' side of the recording GL and GLU (testlibs/ of the
// build tree), which write every call as one line of a trace (recgl_format.h).
// In-process: RecglUse() (or RecglBind()), GlBind(), GluBind(), the code under
// test, then RecglTake() gives the lines since the last take. Whole-program
// runs set VELMAR_RECGL_TRACE to a file instead (support/showrun.h).
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "glbind/glbind.h"
#include "support/support.h"

inline std::string RecglDir() { return std::string(VELMAR_TEST_SHOW_DIR) + "/../testlibs"; }
inline std::string RecglPath() { return RecglDir() + "/librecgl.so"; }
inline std::string RecgluPath() { return RecglDir() + "/librecglu.so"; }

// The library, loaded once and kept: its state lives as long as the test.
inline void* RecglHandle() {
    static void* h = dlopen(RecglPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    return h;
}
template <class F>
inline F RecglEntry(const char* name) {
    return RecglHandle() ? (F)dlsym(RecglHandle(), name) : nullptr;
}
// Calls the library's entry `name` when there is one.
template <class R = void, class... A>
inline R RecglCall(const char* name, A... a) {
    auto f = RecglEntry<R (*)(A...)>(name);
    return f ? f(a...) : R();
}

// Makes the Base module's "OpenGL32.dll" and "glu32.dll" the recording ones.
inline void RecglUse() {
    RecglHandle();
    setenv("VELMAR_MODULE_OPENGL32_DLL", RecglPath().c_str(), 1);
    setenv("VELMAR_MODULE_GLU32_DLL", RecgluPath().c_str(), 1);
}
// Empties the trace and restarts texture names at 1.
inline void RecglReset() { RecglCall("recglReset"); }
// The program's GL and GLU tables bound to the recording libraries, the
// trace emptied; RecglUnbind gives the tables back.
inline void RecglBind() { RecglUse(), GlBind(), GluBind(), RecglReset(); }
inline void RecglUnbind() { GluUnbind(), GlUnbind(); }

// Lines written since the last take (GL and GLU calls in call order).
inline std::vector<std::string> RecglTake() {
    const char* taken = RecglCall<const char*>("recglTake");
    return SplitLines(taken ? taken : "");
}
// No lines at all while off: the null GL of the benchmarks.
inline void RecglTracing(bool on) { RecglCall("recglTracing", on ? 1 : 0); }
// What glGetString(GL_EXTENSIONS) answers.
inline void RecglSetExtensions(const std::string& extensions) { RecglCall("recglSetExtensions", extensions.c_str()); }
// The compressed formats glGetIntegerv lists, in this order.
inline void RecglSetFormats(const std::vector<int>& formats) {
    RecglCall("recglSetFormats", formats.data(), (int)formats.size());
}
// Lines of `lines` that start with `prefix` (e.g. "glTexImage2D(").
inline std::vector<std::string> RecglOnly(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(out), [&](auto& l) { return l.rfind(prefix, 0) == 0; });
    return out;
}
