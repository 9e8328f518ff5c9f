#include "recgl_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace recgl {

namespace {

// Names written for enum values, first name wins for a shared value.
#define RECGL_ENUMS(E) \
    E(GL_TEXTURE_2D) E(GL_TEXTURE_1D) E(GL_BLEND) E(GL_DEPTH_TEST) E(GL_CULL_FACE) E(GL_LIGHTING) \
    E(GL_LIGHT0) E(GL_LIGHT1) E(GL_LIGHT2) E(GL_LIGHT3) E(GL_LIGHT4) E(GL_LIGHT5) E(GL_LIGHT6) E(GL_LIGHT7) \
    E(GL_FOG) E(GL_ALPHA_TEST) E(GL_STENCIL_TEST) E(GL_SCISSOR_TEST) E(GL_NORMALIZE) E(GL_COLOR_MATERIAL) \
    E(GL_TEXTURE_GEN_S) E(GL_TEXTURE_GEN_T) E(GL_TEXTURE_GEN_R) E(GL_TEXTURE_GEN_Q) E(GL_POLYGON_OFFSET_FILL) \
    E(GL_LINE_SMOOTH) E(GL_POINT_SMOOTH) E(GL_POLYGON_SMOOTH) E(GL_DITHER) E(GL_VERTEX_ARRAY) \
    E(GL_NORMAL_ARRAY) E(GL_COLOR_ARRAY) E(GL_TEXTURE_COORD_ARRAY) E(GL_TEXTURE_CUBE_MAP) \
    E(GL_NEVER) E(GL_LESS) E(GL_EQUAL) E(GL_LEQUAL) E(GL_GREATER) E(GL_NOTEQUAL) E(GL_GEQUAL) E(GL_ALWAYS) \
    E(GL_SRC_COLOR) E(GL_ONE_MINUS_SRC_COLOR) E(GL_SRC_ALPHA) E(GL_ONE_MINUS_SRC_ALPHA) E(GL_DST_ALPHA) \
    E(GL_ONE_MINUS_DST_ALPHA) E(GL_DST_COLOR) E(GL_ONE_MINUS_DST_COLOR) E(GL_SRC_ALPHA_SATURATE) \
    E(GL_KEEP) E(GL_REPLACE) E(GL_INCR) E(GL_DECR) E(GL_INVERT) E(GL_INCR_WRAP) E(GL_DECR_WRAP) \
    E(GL_FRONT) E(GL_BACK) E(GL_FRONT_AND_BACK) E(GL_CW) E(GL_CCW) E(GL_POINT) E(GL_LINE) E(GL_FILL) \
    E(GL_MODELVIEW) E(GL_PROJECTION) E(GL_TEXTURE) E(GL_MODELVIEW_MATRIX) E(GL_PROJECTION_MATRIX) \
    E(GL_TEXTURE_MATRIX) E(GL_MATRIX_MODE) E(GL_VIEWPORT) \
    E(GL_PERSPECTIVE_CORRECTION_HINT) E(GL_POLYGON_SMOOTH_HINT) E(GL_POINT_SMOOTH_HINT) \
    E(GL_LINE_SMOOTH_HINT) E(GL_FOG_HINT) E(GL_DONT_CARE) E(GL_FASTEST) E(GL_NICEST) E(GL_FLAT) E(GL_SMOOTH) \
    E(GL_BYTE) E(GL_UNSIGNED_BYTE) E(GL_SHORT) E(GL_UNSIGNED_SHORT) E(GL_INT) E(GL_UNSIGNED_INT) E(GL_FLOAT) \
    E(GL_DOUBLE) E(GL_ALPHA) E(GL_RGB) E(GL_RGBA) E(GL_LUMINANCE) E(GL_LUMINANCE_ALPHA) E(GL_BGR) E(GL_BGRA) \
    E(GL_RGB8) E(GL_RGBA8) E(GL_DEPTH_COMPONENT) E(GL_COLOR_INDEX) E(GL_RED) E(GL_GREEN) E(GL_BLUE) \
    E(GL_INTENSITY) E(GL_STENCIL_INDEX) \
    E(GL_TEXTURE_MIN_FILTER) E(GL_TEXTURE_MAG_FILTER) E(GL_TEXTURE_WRAP_S) E(GL_TEXTURE_WRAP_T) \
    E(GL_NEAREST) E(GL_LINEAR) E(GL_NEAREST_MIPMAP_NEAREST) E(GL_LINEAR_MIPMAP_NEAREST) \
    E(GL_NEAREST_MIPMAP_LINEAR) E(GL_LINEAR_MIPMAP_LINEAR) E(GL_CLAMP) E(GL_REPEAT) E(GL_CLAMP_TO_EDGE) \
    E(GL_TEXTURE_MAX_LEVEL) E(GL_TEXTURE_BASE_LEVEL) E(GL_TEXTURE_MAX_ANISOTROPY_EXT) \
    E(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT) E(GL_GENERATE_MIPMAP) \
    E(GL_S) E(GL_T) E(GL_R) E(GL_Q) E(GL_TEXTURE_GEN_MODE) E(GL_SPHERE_MAP) E(GL_OBJECT_LINEAR) \
    E(GL_EYE_LINEAR) E(GL_REFLECTION_MAP) E(GL_NORMAL_MAP) E(GL_OBJECT_PLANE) E(GL_EYE_PLANE) \
    E(GL_TEXTURE_ENV) E(GL_TEXTURE_ENV_MODE) E(GL_MODULATE) E(GL_DECAL) E(GL_ADD) \
    E(GL_AMBIENT) E(GL_DIFFUSE) E(GL_SPECULAR) E(GL_POSITION) E(GL_SPOT_DIRECTION) E(GL_SPOT_EXPONENT) \
    E(GL_SPOT_CUTOFF) E(GL_CONSTANT_ATTENUATION) E(GL_LINEAR_ATTENUATION) E(GL_QUADRATIC_ATTENUATION) \
    E(GL_EMISSION) E(GL_SHININESS) E(GL_AMBIENT_AND_DIFFUSE) E(GL_LIGHT_MODEL_AMBIENT) \
    E(GL_LIGHT_MODEL_TWO_SIDE) \
    E(GL_FOG_MODE) E(GL_FOG_DENSITY) E(GL_FOG_START) E(GL_FOG_END) E(GL_FOG_COLOR) E(GL_EXP) E(GL_EXP2) \
    E(GL_VENDOR) E(GL_RENDERER) E(GL_VERSION) E(GL_EXTENSIONS) \
    E(GL_MAX_TEXTURE_SIZE) E(GL_NUM_COMPRESSED_TEXTURE_FORMATS) E(GL_COMPRESSED_TEXTURE_FORMATS) \
    E(GL_TEXTURE_BINDING_2D) E(GL_STENCIL_BITS) E(GL_DEPTH_BITS) E(GL_UNPACK_ALIGNMENT) E(GL_PACK_ALIGNMENT) \
    E(GL_COLOR_CLEAR_VALUE) \
    E(GL_COMPRESSED_RGB_S3TC_DXT1_EXT) E(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT) \
    E(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT) E(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT) \
    E(GL_RENDER) E(GL_SELECT) E(GL_FEEDBACK)

const std::unordered_map<GLenum, const char*>& enumTable() {
    static const std::unordered_map<GLenum, const char*> table = [] {
        std::unordered_map<GLenum, const char*> t;
#define RECGL_ENUM(name) t.emplace((GLenum)(name), #name);
        RECGL_ENUMS(RECGL_ENUM)
#undef RECGL_ENUM
        return t;
    }();
    return table;
}

const char* const PrimitiveNames[] = {"GL_POINTS", "GL_LINES", "GL_LINE_LOOP", "GL_LINE_STRIP", "GL_TRIANGLES",
                                      "GL_TRIANGLE_STRIP", "GL_TRIANGLE_FAN", "GL_QUADS", "GL_QUAD_STRIP",
                                      "GL_POLYGON"};

bool is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

const std::string& currentName(const Line& l) {
    static const std::string none;
    return l.index < l.names->names.size() ? l.names->names[l.index] : none;
}

void separator(Line& l) {
    if (l.index > 0) l.text += ", ";
}

void put(Line& l, const std::string& s) {
    separator(l);
    l.text += s;
    l.index++;
}

// pnames whose scalar parameter is itself an enum.
bool enumValued(GLenum pname) {
    switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
    case GL_TEXTURE_MAG_FILTER:
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
    case GL_TEXTURE_GEN_MODE:
    case GL_FOG_MODE:
    case GL_TEXTURE_ENV_MODE:
        return true;
    default:
        return false;
    }
}

template <class T>
std::string list(const T* p, int count, std::string (*one)(T)) {
    if (!p) return "0";
    std::string s = "[";
    for (int i = 0; i < count; ++i) {
        if (i) s += ", ";
        s += one(p[i]);
    }
    return s + "]";
}

std::string intText(int v) { return std::to_string(v); }
std::string uintText(unsigned int v) { return std::to_string(v); }

std::string hashText(const void* p, size_t n) {
    if (!p) return "0";
    char b[16];
    std::snprintf(b, sizeof b, "#%08x", hashBytes(p, n));
    return b;
}

int typeBytes(GLenum type) {
    switch (type) {
    case GL_UNSIGNED_BYTE:
    case GL_BYTE:
        return 1;
    case GL_UNSIGNED_SHORT:
    case GL_SHORT:
        return 2;
    case GL_UNSIGNED_INT:
    case GL_INT:
    case GL_FLOAT:
        return 4;
    default:
        return 0;
    }
}

// Data pointers: what the call reads, by the arguments before it.
std::string dataText(Line& l, const void* p) {
    if (!p) return "0";
    const std::string& name = currentName(l);
    if (name == "pixels" || (name == "data" && is(l.fn, "gluBuild2DMipmaps"))) {
        long w = l.width < 0 ? 0 : l.width, h = l.height < 0 ? 0 : l.height;
        return hashText(p, (size_t)(w * h * pixelBytes(l.format, l.type)));
    }
    if (name == "data") return hashText(p, (size_t)(l.imageSize < 0 ? 0 : l.imageSize));
    if (name == "indices") return hashText(p, (size_t)((l.count < 0 ? 0 : l.count) * typeBytes(l.type)));
    return "ptr";
}

}  // namespace

ArgNames::ArgNames(const char* argsText) {
    std::string cur;
    for (const char* c = argsText; *c; ++c) {
        if (*c == '(' || *c == ' ') continue;
        if (*c == ',' || *c == ')') {
            if (!cur.empty()) names.push_back(cur);
            cur.clear();
        } else {
            cur += *c;
        }
    }
    if (!cur.empty()) names.push_back(cur);
}

std::string enumName(GLenum v) {
    auto it = enumTable().find(v);
    if (it != enumTable().end()) return it->second;
    char b[16];
    std::snprintf(b, sizeof b, "0x%04X", v);
    return b;
}

std::string floatText(float f) {
    if (std::isnan(f)) return "nan";
    if (std::isinf(f)) return f < 0 ? "-inf" : "inf";
    char b[48];
    if (f == std::floor(f) && std::fabs(f) < 1e9f) {
        std::snprintf(b, sizeof b, "%.0f", (double)f);
        if (std::signbit(f) && f == 0) return "-0";
        return b;
    }
    for (int p = 1; p <= 9; ++p) {
        std::snprintf(b, sizeof b, "%.*g", p, (double)f);
        if (std::strtof(b, nullptr) == f) break;
    }
    return b;
}

std::string doubleText(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    char b[48];
    if (d == std::floor(d) && std::fabs(d) < 1e15) {
        std::snprintf(b, sizeof b, "%.0f", d);
        if (std::signbit(d) && d == 0) return "-0";
        return b;
    }
    for (int p = 1; p <= 17; ++p) {
        std::snprintf(b, sizeof b, "%.*g", p, d);
        if (std::strtod(b, nullptr) == d) break;
    }
    return b;
}

uint32_t hashBytes(const void* p, size_t n) {
    uint32_t h = 2166136261u;
    const unsigned char* b = (const unsigned char*)p;
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 16777619u;
    return h;
}

int valuesFor(GLenum pname, int compressedFormats) {
    switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_POSITION:
    case GL_EMISSION:
    case GL_AMBIENT_AND_DIFFUSE:
    case GL_FOG_COLOR:
    case GL_LIGHT_MODEL_AMBIENT:
    case GL_VIEWPORT:
    case GL_COLOR_CLEAR_VALUE:
    case GL_OBJECT_PLANE:
    case GL_EYE_PLANE:
        return 4;
    case GL_SPOT_DIRECTION:
        return 3;
    case GL_MODELVIEW_MATRIX:
    case GL_PROJECTION_MATRIX:
    case GL_TEXTURE_MATRIX:
        return 16;
    case GL_COMPRESSED_TEXTURE_FORMATS:
        return compressedFormats;
    default:
        return 1;
    }
}

int pixelBytes(GLenum format, GLenum type) {
    int channels = 0;
    switch (format) {
    case GL_ALPHA:
    case GL_LUMINANCE:
    case GL_RED:
    case GL_GREEN:
    case GL_BLUE:
    case GL_INTENSITY:
    case GL_DEPTH_COMPONENT:
    case GL_STENCIL_INDEX:
    case GL_COLOR_INDEX:
        channels = 1;
        break;
    case GL_LUMINANCE_ALPHA:
        channels = 2;
        break;
    case GL_RGB:
    case GL_BGR:
        channels = 3;
        break;
    case GL_RGBA:
    case GL_BGRA:
        channels = 4;
        break;
    default:
        return 0;
    }
    return channels * typeBytes(type);
}

void begin(Line& l, const char* fn, const ArgNames& names) {
    l.text.assign(fn);
    l.text += '(';
    l.fn = fn;
    l.names = &names;
    l.index = 0;
}

void end(Line& l) { l.text += ')'; }

void arg(Line& l, unsigned int v) {
    const std::string& name = currentName(l);
    if (name == "mask" && is(l.fn, "glClear")) {
        std::string s;
        const struct {
            GLbitfield bit;
            const char* name;
        } bits[] = {{GL_COLOR_BUFFER_BIT, "GL_COLOR_BUFFER_BIT"},
                    {GL_DEPTH_BUFFER_BIT, "GL_DEPTH_BUFFER_BIT"},
                    {GL_STENCIL_BUFFER_BIT, "GL_STENCIL_BUFFER_BIT"},
                    {GL_ACCUM_BUFFER_BIT, "GL_ACCUM_BUFFER_BIT"}};
        GLbitfield rest = v;
        for (const auto& b : bits)
            if (v & b.bit) {
                if (!s.empty()) s += " | ";
                s += b.name;
                rest &= ~b.bit;
            }
        if (rest || s.empty()) {
            char h[16];
            std::snprintf(h, sizeof h, "0x%X", rest);
            if (!s.empty()) s += " | ";
            s += h;
        }
        return put(l, s);
    }
    if (name == "mode" && (is(l.fn, "glBegin") || is(l.fn, "glDrawElements")) && v < 10)
        return put(l, PrimitiveNames[v]);
    if ((name == "sfactor" || name == "dfactor" || name == "fail" || name == "zfail" || name == "zpass") && v <= 1)
        return put(l, v ? "GL_ONE" : "GL_ZERO");
    if (name == "pname") l.pname = v;
    if (name == "format") l.format = v;
    if (name == "type") l.type = v;
    if (name == "n") l.n = v;
    if (name == "target" || name == "mode" || name == "cap" || name == "pname" || name == "func" ||
        name == "face" || name == "light" || name == "type" || name == "format" || name == "name" ||
        name == "coord" || name == "sfactor" || name == "dfactor" || name == "fail" || name == "zfail" ||
        name == "zpass" || name == "internalformat")
        return put(l, enumName(v));
    return put(l, uintText(v));
}

void arg(Line& l, int v) {
    const std::string& name = currentName(l);
    if (name == "width") l.width = v;
    if (name == "height") l.height = v;
    if (name == "count") l.count = v;
    if (name == "imageSize") l.imageSize = v;
    if (name == "n") l.n = v;
    if ((name == "internalformat" || name == "components") && v >= 0x100) return put(l, enumName((GLenum)v));
    if (name == "param" && enumValued(l.pname)) return put(l, enumName((GLenum)v));
    return put(l, intText(v));
}

void arg(Line& l, unsigned char v) {
    if (v == GL_TRUE) return put(l, "GL_TRUE");
    if (v == GL_FALSE) return put(l, "GL_FALSE");
    return put(l, uintText(v));
}

void arg(Line& l, float v) {
    if (currentName(l) == "param" && enumValued(l.pname) && v == std::floor(v) && v >= 0x100)
        return put(l, enumName((GLenum)v));
    return put(l, floatText(v));
}

void arg(Line& l, double v) {
    const std::string& name = currentName(l);
    if (name == "width") l.width = (long)v;
    if (name == "height") l.height = (long)v;
    return put(l, doubleText(v));
}

void arg(Line& l, const void* p) { put(l, dataText(l, p)); }
void arg(Line& l, void* p) {
    if (!p) return put(l, "0");
    const std::string& name = currentName(l);
    put(l, name == "pixels" ? "out" : "ptr");
}

void arg(Line& l, const float* p) { put(l, list(p, valuesFor(l.pname, l.compressedFormats), floatText)); }
void arg(Line& l, float* p) { put(l, list((const float*)p, valuesFor(l.pname, l.compressedFormats), floatText)); }
void arg(Line& l, const int* p) {
    int count = currentName(l) == "viewport" ? 4 : valuesFor(l.pname, l.compressedFormats);
    put(l, list(p, count, intText));
}
void arg(Line& l, int* p) { arg(l, (const int*)p); }
void arg(Line& l, const unsigned int* p) {
    int count = (int)(l.n < 0 ? 0 : l.n);
    if (currentName(l) == "buffer") return put(l, p ? "buf" : "0");
    put(l, list(p, count, uintText));
}
void arg(Line& l, unsigned int* p) { arg(l, (const unsigned int*)p); }

}  // namespace recgl
