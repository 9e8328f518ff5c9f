// recgl_format.h - how the recording GL and GLU write one call as a line.
//
// A line is the entry point's name and its arguments in brackets, separated
// by ", ": enums by their symbolic name (GL_ONE only where a blend factor or
// stencil operation is meant, primitive names for glBegin/glDrawElements),
// glClear's mask as "GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT", booleans
// as GL_TRUE/GL_FALSE, floats in their shortest exact form (0.8, 1, -0.25),
// integers in decimal. Pointers are written so that a line is the same on
// every run: arrays the call reads or fills are listed ([1, 0, 0, 1]), pixel
// and index data as a hash of their bytes (#1a2b3c4d), other client memory
// as "ptr", a null pointer as 0. Unknown enum values are hex (0x1234).
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace recgl {

// The parameter names of an entry point, from its argument list text.
struct ArgNames {
    std::vector<std::string> names;
    explicit ArgNames(const char* argsText);
};

// One call being written; later arguments see what earlier ones were.
struct Line {
    std::string text;
    const char* fn;
    const ArgNames* names;
    size_t index = 0;
    GLenum pname = 0, format = 0, type = 0;
    long n = 0, width = 0, height = 0, count = 0, imageSize = 0;
    int compressedFormats = 0;  // count the GL answers for the format list
};

void begin(Line& l, const char* fn, const ArgNames& names);
void end(Line& l);  // closes the bracket

void arg(Line& l, unsigned int v);   // GLenum, GLuint, GLbitfield
void arg(Line& l, int v);            // GLint, GLsizei
void arg(Line& l, unsigned char v);  // GLboolean
void arg(Line& l, float v);
void arg(Line& l, double v);
void arg(Line& l, const void* p);
void arg(Line& l, void* p);
void arg(Line& l, const float* p);
void arg(Line& l, float* p);
void arg(Line& l, const int* p);
void arg(Line& l, int* p);
void arg(Line& l, const unsigned int* p);
void arg(Line& l, unsigned int* p);

std::string enumName(GLenum v);
std::string floatText(float f);
std::string doubleText(double d);
uint32_t hashBytes(const void* p, size_t n);

// Values a parameter array holds for a pname (4 for GL_POSITION, 16 for a
// matrix, ...); 1 when unknown.
int valuesFor(GLenum pname, int compressedFormats);

// Bytes of one pixel of a format and type (0 when unknown).
int pixelBytes(GLenum format, GLenum type);

}  // namespace recgl
