#include "recgl_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unordered_map>

namespace recgl {
namespace {
// Names written for enum values (without their GL_), first name wins for a shared value.
#define RECGL_ENUMS(E) \
    E(TEXTURE_2D) E(TEXTURE_1D) E(BLEND) E(DEPTH_TEST) E(CULL_FACE) E(LIGHTING) E(LIGHT0) E(LIGHT1) E(LIGHT2) \
    E(LIGHT3) E(LIGHT4) E(LIGHT5) E(LIGHT6) E(LIGHT7) E(FOG) E(ALPHA_TEST) E(STENCIL_TEST) E(SCISSOR_TEST) \
    E(NORMALIZE) E(COLOR_MATERIAL) E(TEXTURE_GEN_S) E(TEXTURE_GEN_T) E(TEXTURE_GEN_R) E(TEXTURE_GEN_Q) \
    E(POLYGON_OFFSET_FILL) E(LINE_SMOOTH) E(POINT_SMOOTH) E(POLYGON_SMOOTH) E(DITHER) E(VERTEX_ARRAY) \
    E(NORMAL_ARRAY) E(COLOR_ARRAY) E(TEXTURE_COORD_ARRAY) E(TEXTURE_CUBE_MAP) E(NEVER) E(LESS) E(EQUAL) E(LEQUAL) \
    E(GREATER) E(NOTEQUAL) E(GEQUAL) E(ALWAYS) E(SRC_COLOR) E(ONE_MINUS_SRC_COLOR) E(SRC_ALPHA) \
    E(ONE_MINUS_SRC_ALPHA) E(DST_ALPHA) E(ONE_MINUS_DST_ALPHA) E(DST_COLOR) E(ONE_MINUS_DST_COLOR) \
    E(SRC_ALPHA_SATURATE) E(KEEP) E(REPLACE) E(INCR) E(DECR) E(INVERT) E(INCR_WRAP) E(DECR_WRAP) E(FRONT) E(BACK) \
    E(FRONT_AND_BACK) E(CW) E(CCW) E(POINT) E(LINE) E(FILL) E(MODELVIEW) E(PROJECTION) E(TEXTURE) \
    E(MODELVIEW_MATRIX) E(PROJECTION_MATRIX) E(TEXTURE_MATRIX) E(MATRIX_MODE) E(VIEWPORT) \
    E(PERSPECTIVE_CORRECTION_HINT) E(POLYGON_SMOOTH_HINT) E(POINT_SMOOTH_HINT) E(LINE_SMOOTH_HINT) E(FOG_HINT) \
    E(DONT_CARE) E(FASTEST) E(NICEST) E(FLAT) E(SMOOTH) E(BYTE) E(UNSIGNED_BYTE) E(SHORT) E(UNSIGNED_SHORT) E(INT) \
    E(UNSIGNED_INT) E(FLOAT) E(DOUBLE) E(ALPHA) E(RGB) E(RGBA) E(LUMINANCE) E(LUMINANCE_ALPHA) E(BGR) E(BGRA) \
    E(RGB8) E(RGBA8) E(DEPTH_COMPONENT) E(COLOR_INDEX) E(RED) E(GREEN) E(BLUE) E(INTENSITY) E(STENCIL_INDEX) \
    E(TEXTURE_MIN_FILTER) E(TEXTURE_MAG_FILTER) E(TEXTURE_WRAP_S) E(TEXTURE_WRAP_T) E(NEAREST) E(LINEAR) \
    E(NEAREST_MIPMAP_NEAREST) E(LINEAR_MIPMAP_NEAREST) E(NEAREST_MIPMAP_LINEAR) E(LINEAR_MIPMAP_LINEAR) E(CLAMP) \
    E(REPEAT) E(CLAMP_TO_EDGE) E(TEXTURE_MAX_LEVEL) E(TEXTURE_BASE_LEVEL) E(TEXTURE_MAX_ANISOTROPY_EXT) \
    E(MAX_TEXTURE_MAX_ANISOTROPY_EXT) E(GENERATE_MIPMAP) E(S) E(T) E(R) E(Q) E(TEXTURE_GEN_MODE) E(SPHERE_MAP) \
    E(OBJECT_LINEAR) E(EYE_LINEAR) E(REFLECTION_MAP) E(NORMAL_MAP) E(OBJECT_PLANE) E(EYE_PLANE) E(TEXTURE_ENV) \
    E(TEXTURE_ENV_MODE) E(MODULATE) E(DECAL) E(ADD) E(AMBIENT) E(DIFFUSE) E(SPECULAR) E(POSITION) \
    E(SPOT_DIRECTION) E(SPOT_EXPONENT) E(SPOT_CUTOFF) E(CONSTANT_ATTENUATION) E(LINEAR_ATTENUATION) \
    E(QUADRATIC_ATTENUATION) E(EMISSION) E(SHININESS) E(AMBIENT_AND_DIFFUSE) E(LIGHT_MODEL_AMBIENT) \
    E(LIGHT_MODEL_TWO_SIDE) E(FOG_MODE) E(FOG_DENSITY) E(FOG_START) E(FOG_END) E(FOG_COLOR) E(EXP) E(EXP2) \
    E(VENDOR) E(RENDERER) E(VERSION) E(EXTENSIONS) E(MAX_TEXTURE_SIZE) E(NUM_COMPRESSED_TEXTURE_FORMATS) \
    E(COMPRESSED_TEXTURE_FORMATS) E(TEXTURE_BINDING_2D) E(STENCIL_BITS) E(DEPTH_BITS) E(UNPACK_ALIGNMENT) \
    E(PACK_ALIGNMENT) E(COLOR_CLEAR_VALUE) E(COMPRESSED_RGB_S3TC_DXT1_EXT) E(COMPRESSED_RGBA_S3TC_DXT1_EXT) \
    E(COMPRESSED_RGBA_S3TC_DXT3_EXT) E(COMPRESSED_RGBA_S3TC_DXT5_EXT) E(RENDER) E(SELECT) E(FEEDBACK)

std::string printed(const char* format, unsigned v) {
    char b[16];
    std::snprintf(b, sizeof b, format, v);
    return b;
}
std::string enumName(GLenum v) {
#define RECGL_ENUM(name) {(GLenum)GL_##name, "GL_" #name},
    static const std::unordered_map<GLenum, const char*> table{RECGL_ENUMS(RECGL_ENUM)};
#undef RECGL_ENUM
    auto it = table.find(v);
    return it != table.end() ? it->second : printed("0x%04X", v);
}

// The shortest text that reads back as the same number.
template <class T>
std::string number(T f) {
    if (std::isnan(f)) return "nan";
    if (std::isinf(f)) return f < 0 ? "-inf" : "inf";
    if (f == 0 && std::signbit(f)) return "-0";
    char b[48];
    if (f == std::floor(f) && std::fabs(f) < (sizeof(T) == 4 ? 1e9 : 1e15))  // integers in full
        return std::snprintf(b, sizeof b, "%.0f", (double)f), b;
    for (int p = 1; p <= (sizeof(T) == 4 ? 9 : 17); ++p) {
        std::snprintf(b, sizeof b, "%.*g", p, (double)f);
        if ((sizeof(T) == 4 ? std::strtof(b, nullptr) : std::strtod(b, nullptr)) == f) break;
    }
    return b;
}
// Text of one list element or scalar.
template <class T>
std::string text(T v) {
    if constexpr (std::is_floating_point_v<T>) return number(v);
    else return std::to_string(v);
}
template <class T>
std::string list(const void* p, long count) {
    std::string s = "[";
    for (long i = 0; i < count; ++i) s += (i ? ", " : "") + text(((const T*)p)[i]);
    return s + "]";
}
int typeBytes(GLenum t) {
    return t == GL_UNSIGNED_BYTE || t == GL_BYTE ? 1 : t == GL_UNSIGNED_SHORT || t == GL_SHORT ? 2
           : t == GL_UNSIGNED_INT || t == GL_INT || t == GL_FLOAT                              ? 4 : 0;
}
// Values a parameter array holds for a pname; 1 when unknown.
int valuesFor(GLenum pname, int compressedFormats) {
    switch (pname) {
    case GL_AMBIENT: case GL_DIFFUSE: case GL_SPECULAR: case GL_POSITION: case GL_EMISSION: case GL_AMBIENT_AND_DIFFUSE:
    case GL_FOG_COLOR: case GL_LIGHT_MODEL_AMBIENT: case GL_VIEWPORT: case GL_COLOR_CLEAR_VALUE: case GL_OBJECT_PLANE:
    case GL_EYE_PLANE: return 4;
    case GL_SPOT_DIRECTION: return 3;
    case GL_MODELVIEW_MATRIX: case GL_PROJECTION_MATRIX: case GL_TEXTURE_MATRIX: return 16;
    case GL_COMPRESSED_TEXTURE_FORMATS: return compressedFormats;
    default: return 1;
    }
}
// pnames whose scalar parameter is itself an enum.
bool enumValued(GLenum p) {
    return p == GL_TEXTURE_MIN_FILTER || p == GL_TEXTURE_MAG_FILTER || p == GL_TEXTURE_WRAP_S ||
           p == GL_TEXTURE_WRAP_T || p == GL_TEXTURE_GEN_MODE || p == GL_FOG_MODE || p == GL_TEXTURE_ENV_MODE;
}
std::string hashText(const void* p, long n) { return printed("#%08x", hashBytes(p, (size_t)std::max(n, 0L))); }
std::string clearMask(GLbitfield v) {
    const GLbitfield bits[] = {GL_COLOR_BUFFER_BIT, GL_DEPTH_BUFFER_BIT, GL_STENCIL_BUFFER_BIT, GL_ACCUM_BUFFER_BIT};
    const char* names[] = {"GL_COLOR_BUFFER_BIT", "GL_DEPTH_BUFFER_BIT", "GL_STENCIL_BUFFER_BIT",
                           "GL_ACCUM_BUFFER_BIT"};
    std::string s;
    for (int i = 0; i < 4; ++i)
        if (v & bits[i]) s += (s.empty() ? "" : " | ") + std::string(names[i]), v &= ~bits[i];
    return v || s.empty() ? s + (s.empty() ? "" : " | ") + printed("0x%X", v) : s;
}
}  // namespace

std::vector<std::string> argNames(const char* argsText) {
    std::vector<std::string> names(1);
    for (const char* c = argsText; *c; ++c)
        if (*c == ',') names.emplace_back();
        else if (*c != '(' && *c != ')' && *c != ' ') names.back() += *c;
    if (names.back().empty()) names.pop_back();
    return names;
}

std::string line(const char* fn, const std::vector<std::string>& names, std::initializer_list<Arg> args,
                 int compressedFormats) {
    static const char* const primitives[] = {"GL_POINTS", "GL_LINES", "GL_LINE_LOOP", "GL_LINE_STRIP", "GL_TRIANGLES",
        "GL_TRIANGLE_STRIP", "GL_TRIANGLE_FAN", "GL_QUADS", "GL_QUAD_STRIP", "GL_POLYGON"};
    const std::string f = fn;
    std::map<std::string, long> seen;  // later arguments are written by earlier ones: sizes, formats, pname
    auto size = [&](const char* name) { return std::max(seen[name], 0L); };
    auto text = [&](const Arg& a, const std::string& nm) -> std::string {
        auto is = [&](const char* list) { return !nm.empty() && std::strstr(list, (" " + nm + " ").c_str()); };
        GLenum pname = (GLenum)seen["pname"], format = (GLenum)seen["format"], type = (GLenum)seen["type"];
        if (a.kind == 'u' || a.kind == 'i') seen[nm] = a.kind == 'u' ? (long)a.u : a.i;
        if (a.kind == 'u' && nm == "mask" && f == "glClear") return clearMask(a.u);
        if (a.kind == 'u' && nm == "mode" && (f == "glBegin" || f == "glDrawElements") && a.u < 10)
            return primitives[a.u];
        if (a.kind == 'u' && is(" sfactor dfactor fail zfail zpass ") && a.u <= 1) return a.u ? "GL_ONE" : "GL_ZERO";
        if (a.kind == 'u' && is(" target mode cap pname func face light type format name coord sfactor dfactor fail "
                                "zfail zpass internalformat "))
            return enumName(a.u);
        bool enumParam = nm == "param" && enumValued(pname);
        if (a.kind == 'i' && ((is(" internalformat components ") && a.i >= 0x100) || enumParam)) return enumName(a.i);
        if (a.kind == 'f' && enumParam && a.d == std::floor(a.d) && a.d >= 0x100) return enumName((GLenum)a.d);
        if (a.kind == 'b' && a.u <= 1) return a.u ? "GL_TRUE" : "GL_FALSE";
        if (a.kind == 'u' || a.kind == 'b') return recgl::text(a.u);
        if (a.kind == 'i') return recgl::text(a.i);
        if (a.kind == 'f' || a.kind == 'd') return a.kind == 'f' ? number((float)a.d) : number(a.d);
        if (!a.p) return "0";
        if (a.kind == 'o') return nm == "pixels" ? "out" : "ptr";
        if (a.kind == 'F') return list<float>(a.p, valuesFor(pname, compressedFormats));
        if (a.kind == 'I') return list<int>(a.p, nm == "viewport" ? 4 : valuesFor(pname, compressedFormats));
        if (a.kind == 'U') return nm == "buffer" ? "buf" : list<unsigned>(a.p, size("n"));
        if (nm == "pixels" || (nm == "data" && f == "gluBuild2DMipmaps"))
            return hashText(a.p, size("width") * size("height") * pixelBytes(format, type));
        if (nm == "data") return hashText(a.p, seen["imageSize"]);
        return nm == "indices" ? hashText(a.p, size("count") * typeBytes(type)) : "ptr";
    };
    std::string s = f + "(";
    for (size_t i = 0; i < args.size(); ++i)
        s += (i ? ", " : "") + text(args.begin()[i], i < names.size() ? names[i] : "");
    return s + ")";
}

int pixelBytes(GLenum format, GLenum type) {
    int channels = format == GL_LUMINANCE_ALPHA ? 2 : format == GL_RGB || format == GL_BGR ? 3
                   : format == GL_RGBA || format == GL_BGRA                              ? 4 : 0;
    for (GLenum one : {GL_ALPHA, GL_LUMINANCE, GL_RED, GL_GREEN, GL_BLUE, GL_INTENSITY, GL_DEPTH_COMPONENT,
                       GL_STENCIL_INDEX, GL_COLOR_INDEX})
        channels += format == one;
    return channels * typeBytes(type);
}
uint32_t hashBytes(const void* p, size_t n) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < n; ++i) h = (h ^ ((const unsigned char*)p)[i]) * 16777619u;
    return h;
}

}  // namespace recgl
