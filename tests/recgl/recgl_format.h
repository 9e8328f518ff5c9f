// recgl_format.h - how the recording GL and GLU write one call as a line:
// "glBlendFunc(GL_ONE, GL_ONE)". Enums by name (GL_ONE only for blend factors
// and stencil operations, primitive names for glBegin/glDrawElements, unknown
// ones as 0x1234), glClear's mask as "GL_COLOR_BUFFER_BIT | ...", GL_TRUE/
// GL_FALSE, floats in their shortest exact form (0.8, 1, -0.25). The same on
// every run: arrays read or filled listed ([1, 0, 0, 1]), pixel and index data
// as a hash of their bytes (#1a2b3c4d), other memory "ptr", null 0.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace recgl {

// One argument as the entry point received it; its type picks its form.
struct Arg {
    char kind;  // u: GLenum/GLuint, i: GLint, b: GLboolean, f, d, v/o: data read/written, F/I/U: arrays
    union { unsigned u; int i; double d; const void* p; };
    Arg(unsigned v) : kind('u'), u(v) {}
    Arg(int v) : kind('i'), i(v) {}
    Arg(unsigned char v) : kind('b'), u(v) {}
    Arg(float v) : kind('f'), d(v) {}
    Arg(double v) : kind('d'), d(v) {}
    Arg(const void* v) : kind('v'), p(v) {}
    Arg(void* v) : kind('o'), p(v) {}
    Arg(const float* v) : kind('F'), p(v) {}
    Arg(const int* v) : kind('I'), p(v) {}
    Arg(const unsigned* v) : kind('U'), p(v) {}
};

// The parameter names of an entry point from its argument list text "(a, b)".
std::vector<std::string> argNames(const char* argsText);
// The line of a call; `compressedFormats`: how many formats the GL lists.
std::string line(const char* fn, const std::vector<std::string>& names, std::initializer_list<Arg> args,
                 int compressedFormats = 0);
int pixelBytes(GLenum format, GLenum type);  // 0 when unknown
uint32_t hashBytes(const void* p, size_t n);

}  // namespace recgl
