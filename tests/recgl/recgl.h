// recgl.h - the tests' side of the recording GL and GLU.
//
// The recording libraries (testlibs/librecgl.so, librecglu.so in the build
// tree) stand in for the system's GL and GLU: every call becomes one line of
// a trace, written as recgl_format.h describes, e.g.
//   glBlendFunc(GL_ONE, GL_ONE)
//   glColor4f(0.8, 0.8, 0.8, 1)
//   glTexImage2D(GL_TEXTURE_2D, 0, 1, 64, 64, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, #9f3c01aa)
//
// In-process use:
//   RecglUse();                 // "OpenGL32.dll"/"glu32.dll" name them
//   GlBind(); GluBind();        // the program's tables now record
//   ... code under test ...
//   auto lines = RecglTake();   // the lines since the last take
// Whole-program runs set VELMAR_RECGL_TRACE to a file instead (see
// support/showrun.h). With recglTracing(0) the library is a null GL.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "glbind/glbind.h"

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
    void* h = RecglHandle();
    return h ? (F)dlsym(h, name) : nullptr;
}

// Makes the Base module's "OpenGL32.dll" and "glu32.dll" the recording ones.
inline void RecglUse() {
    RecglHandle();
    setenv("VELMAR_MODULE_OPENGL32_DLL", RecglPath().c_str(), 1);
    setenv("VELMAR_MODULE_GLU32_DLL", RecgluPath().c_str(), 1);
}

// The program's GL and GLU tables bound to the recording libraries, the
// trace emptied; RecglUnbind gives the tables back.
inline void RecglBind() {
    RecglUse();
    GlBind();
    GluBind();
    if (auto f = RecglEntry<void (*)()>("recglReset")) f();
}
inline void RecglUnbind() {
    GluUnbind();
    GlUnbind();
}

// Lines written since the last take (GL and GLU calls in call order).
inline std::vector<std::string> RecglTake() {
    std::vector<std::string> out;
    auto take = RecglEntry<const char* (*)()>("recglTake");
    if (!take) return out;
    std::string cur;
    for (const char* c = take(); *c; ++c) {
        if (*c == '\n') out.push_back(cur), cur.clear();
        else cur += *c;
    }
    return out;
}

// No lines at all while off: the null GL of the benchmarks.
inline void RecglTracing(bool on) {
    if (auto f = RecglEntry<void (*)(int)>("recglTracing")) f(on ? 1 : 0);
}

// Empties the trace and restarts texture names at 1.
inline void RecglReset() {
    if (auto f = RecglEntry<void (*)()>("recglReset")) f();
}

// What glGetString(GL_EXTENSIONS) answers.
inline void RecglSetExtensions(const std::string& extensions) {
    if (auto f = RecglEntry<void (*)(const char*)>("recglSetExtensions")) f(extensions.c_str());
}

// The compressed formats glGetIntegerv lists, in this order.
inline void RecglSetFormats(const std::vector<int>& formats) {
    if (auto f = RecglEntry<void (*)(const int*, int)>("recglSetFormats")) f(formats.data(), (int)formats.size());
}

// Lines of `lines` that start with `prefix` (e.g. "glTexImage2D(").
inline std::vector<std::string> RecglOnly(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
}
