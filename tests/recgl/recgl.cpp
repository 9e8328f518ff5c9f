// The recording GL: every entry point of the program's GL lists, each call
// written as one line (recgl_format.h) into a trace the tests read back.
// Environment, read at load: VELMAR_RECGL_TRACE a file the lines are appended
// to ("off": no tracing, the null GL of the benchmarks; unset: kept for
// recglTake); VELMAR_RECGL_EXTENSIONS, VELMAR_RECGL_RENDERER what glGetString
// answers; VELMAR_RECGL_FORMATS the compressed formats ("33776,33779");
// VELMAR_RECGL_BLOCK "NAME@N": the Nth call of NAME never returns (a frame
// that cannot end). Queries the program makes answer plausibly: texture
// names 1, 2, 3, ..., the viewport of glViewport, identity matrices.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "../../glbind/gl_api.h"
#include "recgl_format.h"

#define RECGL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct State {
    bool tracing = true;
    int fd = -1;  // trace file, or -1
    std::string lines, taken;
    std::string extensions =
        "GL_ARB_multitexture GL_ARB_texture_compression GL_ARB_texture_env_combine GL_ARB_texture_env_dot3 "
        "GL_EXT_compiled_vertex_array GL_EXT_texture_compression_s3tc GL_EXT_texture_cube_map "
        "GL_EXT_texture_edge_clamp GL_EXT_texture_filter_anisotropic";
    std::string renderer = "recording GL", blockName;
    long blockAt = 0, blockCalls = 0;
    std::vector<int> formats = {GL_COMPRESSED_RGB_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT,
                                GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT};
    GLuint nextTexture = 1;
    GLint viewport[4] = {0, 0, 1024, 768};
};

State& readEnvironment(State& g) {
    if (g.fd >= 0) close(g.fd);
    g = State{};
    if (const char* e = getenv("VELMAR_RECGL_EXTENSIONS")) g.extensions = e;
    if (const char* r = getenv("VELMAR_RECGL_RENDERER")) g.renderer = r;
    if (const char* f = getenv("VELMAR_RECGL_FORMATS")) {
        g.formats.clear();
        for (char *p = (char*)f, *end; *p; p = end == p ? p + 1 : end)
            if (long v = strtol(p, &end, 10); end != p) g.formats.push_back((int)v);
    }
    if (const char* b = getenv("VELMAR_RECGL_BLOCK")) {
        const char* at = strchr(b, '@');
        g.blockName = at ? std::string(b, (size_t)(at - b)) : b;
        g.blockAt = at ? atol(at + 1) : 1;
    }
    const char* t = getenv("VELMAR_RECGL_TRACE");
    if (t && (!strcmp(t, "off") || !strcmp(t, "0"))) g.tracing = false;
    else if (t && *t) g.fd = open(t, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    return g;
}
// Made on first use: a static record could still be unconstructed when the
// first call arrives from another library's start-up.
State& st() {
    static State* s = &readEnvironment(*new State);
    return *s;
}
void emit(const std::string& line) {
    if (st().fd < 0) st().lines += line + "\n";
    else if (write(st().fd, (line + "\n").data(), line.size() + 1) < 0) {}
}
constexpr uint32_t nameHash(const char* s) {
    uint32_t h = 2166136261u;
    while (*s) h = (h ^ (unsigned char)*s++) * 16777619u;
    return h;
}

// What a call does besides being written: by default nothing, 0 returned.
template <uint32_t H, class... A>
intptr_t answer(A...) { return 0; }
#define RECGL_ANSWER(name) template <> intptr_t answer<nameHash(#name)>
RECGL_ANSWER(glGenTextures)(GLsizei n, GLuint* textures) {
    for (GLsizei i = 0; textures && i < n; ++i) textures[i] = st().nextTexture++;
    return 0;
}
RECGL_ANSWER(glViewport)(GLint x, GLint y, GLsizei w, GLsizei h) {
    const GLint v[4] = {x, y, w, h};
    return std::copy(v, v + 4, st().viewport), 0;
}
RECGL_ANSWER(glGetString)(GLenum name) {
    return name == GL_RENDERER ? (intptr_t)st().renderer.c_str()
           : name == GL_EXTENSIONS ? (intptr_t)st().extensions.c_str() : 0;
}
RECGL_ANSWER(glGetIntegerv)(GLenum pname, GLint* p) {
    State& g = st();
    if (!p) return 0;
    if (pname == GL_COMPRESSED_TEXTURE_FORMATS) std::copy(g.formats.begin(), g.formats.end(), p);
    else if (pname == GL_VIEWPORT) std::copy(g.viewport, g.viewport + 4, p);
    else p[0] = pname == GL_NUM_COMPRESSED_TEXTURE_FORMATS ? (GLint)g.formats.size() : 0;
    return 0;
}
RECGL_ANSWER(glGetFloatv)(GLenum pname, GLfloat* p) {
    if (!p) return 0;
    p[0] = pname == GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT ? 16.0f : 0.0f;
    if (pname == GL_MODELVIEW_MATRIX || pname == GL_PROJECTION_MATRIX || pname == GL_TEXTURE_MATRIX)
        for (int i = 0; i < 16; ++i) p[i] = i % 5 == 0 ? 1.0f : 0.0f;
    if (pname == GL_VIEWPORT) std::copy(st().viewport, st().viewport + 4, p);
    return 0;
}
RECGL_ANSWER(glReadPixels)(GLint, GLint, GLsizei w, GLsizei h, GLenum format, GLenum type, GLvoid* pixels) {
    if (pixels && w > 0 && h > 0) memset(pixels, 0, (size_t)w * (size_t)h * recgl::pixelBytes(format, type));
    return 0;
}

// Runs the call's answer, then writes its line (so filled arrays show).
template <uint32_t H, class... A>
intptr_t call(const char* name, const std::vector<std::string>& names, A... a) {
    State& g = st();
    if (!g.blockName.empty() && g.blockName == name && ++g.blockCalls == g.blockAt)
        for (;;) pause();  // signal handlers still run on this thread
    intptr_t r = answer<H>(a...);
    if (g.tracing) emit(recgl::line(name, names, {a...}, (int)g.formats.size()));
    return r;
}
}  // namespace

#define RECGL_DEFINE(ret, name, params, args)                                                  \
    RECGL_EXPORT ret name params {                                                             \
        static const auto names = recgl::argNames(#args);                                      \
        return [](auto... a) { return (ret)call<nameHash(#name)>(#name, names, a...); } args; \
    }
GL_API_LIST(RECGL_DEFINE)
GL_EXT_API_LIST(RECGL_DEFINE)

// ---------------------------------------------------------------- test side
// The lines written since the last take, each ending in a line feed; the
// text stays valid until the next call.
RECGL_EXPORT const char* recglTake(void) {
    st().taken = std::move(st().lines);
    st().lines.clear();
    return st().taken.c_str();
}
RECGL_EXPORT void recglTracing(int on) { st().tracing = on != 0; }
// Back to the state at load: no lines, texture names from 1, environment settings again.
RECGL_EXPORT void recglReset(void) { readEnvironment(st()); }
RECGL_EXPORT void recglSetExtensions(const char* extensions) { st().extensions = extensions ? extensions : ""; }
RECGL_EXPORT void recglSetFormats(const int* formats, int n) { st().formats.assign(formats, formats + std::max(n, 0)); }
// A line from the recording GLU, so both land in one trace in call order.
RECGL_EXPORT void recglAppend(const char* line) { if (st().tracing && line) emit(line); }
