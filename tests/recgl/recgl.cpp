// The recording GL: every entry point of the program's GL lists, each call
// written as one line (recgl_format.h) into a trace the tests read back.
//
// Selected in place of the system's GL with VELMAR_MODULE_OPENGL32_DLL.
// Environment, read when the library is loaded:
//   VELMAR_RECGL_TRACE       a file the lines are appended to as they come
//                            ("off": no tracing at all, the null GL of the
//                            benchmarks); unset: lines kept for recglTake
//   VELMAR_RECGL_EXTENSIONS  the GL_EXTENSIONS string
//   VELMAR_RECGL_FORMATS     compressed formats listed, e.g. "33776,33779"
//   VELMAR_RECGL_SIZE        the initial viewport, e.g. "640x480"
//   VELMAR_RECGL_RENDERER    the GL_RENDERER string
//   VELMAR_RECGL_BLOCK       "NAME@N": the Nth call of NAME never returns (a
//                            frame that cannot end, for the signal tests)
// Queries answer plausibly: glGenTextures hands out 1, 2, 3, ...; the
// viewport follows glViewport; matrices read back as identity.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "../../glbind/gl_api.h"
#include "recgl_format.h"

#define RECGL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const char DefaultExtensions[] =
    "GL_ARB_multitexture GL_ARB_texture_compression GL_ARB_texture_env_combine GL_ARB_texture_env_dot3 "
    "GL_EXT_compiled_vertex_array GL_EXT_texture_compression_s3tc GL_EXT_texture_cube_map "
    "GL_EXT_texture_edge_clamp GL_EXT_texture_filter_anisotropic";

struct State {
    bool tracing = true;
    int fd = -1;  // trace file, or -1
    std::string lines;
    std::string taken;
    std::string extensions = DefaultExtensions;
    std::string renderer = "recording GL";
    std::string blockName;  // VELMAR_RECGL_BLOCK
    long blockAt = 0, blockCalls = 0;
    std::vector<int> formats = {GL_COMPRESSED_RGB_S3TC_DXT1_EXT, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT,
                                GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT};
    GLuint nextTexture = 1;
    GLuint boundTexture = 0;
    GLint viewport[4] = {0, 0, 1024, 768};
    GLenum matrixMode = GL_MODELVIEW;
};

// Made on first use: a static record could still be unconstructed when the
// first call arrives from another library's start-up.
State& st();

void readEnvironment(State& g) {
    if (g.fd >= 0) close(g.fd);
    g = State{};
    if (const char* e = getenv("VELMAR_RECGL_EXTENSIONS")) g.extensions = e;
    if (const char* f = getenv("VELMAR_RECGL_FORMATS")) {
        g.formats.clear();
        for (const char* p = f; *p;) {
            char* end = nullptr;
            long v = strtol(p, &end, 10);
            if (end == p) {
                ++p;
                continue;
            }
            g.formats.push_back((int)v);
            p = end;
        }
    }
    if (const char* r = getenv("VELMAR_RECGL_RENDERER")) g.renderer = r;
    if (const char* b = getenv("VELMAR_RECGL_BLOCK")) {
        const char* at = strchr(b, '@');
        g.blockName = at ? std::string(b, (size_t)(at - b)) : b;
        g.blockAt = at ? atol(at + 1) : 1;
    }
    if (const char* s = getenv("VELMAR_RECGL_SIZE")) {
        int w = 0, h = 0;
        if (sscanf(s, "%dx%d", &w, &h) == 2 && w > 0 && h > 0) g.viewport[2] = w, g.viewport[3] = h;
    }
    const char* t = getenv("VELMAR_RECGL_TRACE");
    if (t && (!strcmp(t, "off") || !strcmp(t, "0"))) g.tracing = false;
    else if (t && *t) g.fd = open(t, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

State& st() {
    static State* s = [] {
        State* n = new State;
        readEnvironment(*n);
        return n;
    }();
    return *s;
}

void emit(const std::string& line) {
    if (st().fd >= 0) {
        std::string l = line + "\n";
        if (write(st().fd, l.data(), l.size()) < 0) {}
        return;
    }
    st().lines += line;
    st().lines += '\n';
}

constexpr uint32_t nameHash(const char* s) {
    uint32_t h = 2166136261u;
    while (*s) h = (h ^ (unsigned char)*s++) * 16777619u;
    return h;
}

// What a call does besides being written: by default nothing, 0 returned.
template <uint32_t H>
struct Answer {
    template <class R, class... A>
    static R run(A...) {
        if constexpr (!std::is_void_v<R>) return R{};
    }
};

template <>
struct Answer<nameHash("glGenTextures")> {
    template <class R>
    static R run(GLsizei n, GLuint* textures) {
        for (GLsizei i = 0; textures && i < n; ++i) textures[i] = st().nextTexture++;
    }
};

template <>
struct Answer<nameHash("glBindTexture")> {
    template <class R>
    static R run(GLenum, GLuint texture) {
        st().boundTexture = texture;
    }
};

template <>
struct Answer<nameHash("glViewport")> {
    template <class R>
    static R run(GLint x, GLint y, GLsizei w, GLsizei h) {
        st().viewport[0] = x, st().viewport[1] = y, st().viewport[2] = w, st().viewport[3] = h;
    }
};

template <>
struct Answer<nameHash("glMatrixMode")> {
    template <class R>
    static R run(GLenum mode) {
        st().matrixMode = mode;
    }
};

template <>
struct Answer<nameHash("glGetString")> {
    template <class R>
    static R run(GLenum name) {
        switch (name) {
        case GL_VENDOR:
            return (R) "Velmar";
        case GL_RENDERER:
            return (R)st().renderer.c_str();
        case GL_VERSION:
            return (R) "1.4 recording";
        case GL_EXTENSIONS:
            return (R)st().extensions.c_str();
        default:
            return nullptr;
        }
    }
};

template <>
struct Answer<nameHash("glGetIntegerv")> {
    template <class R>
    static R run(GLenum pname, GLint* params) {
        if (!params) return;
        switch (pname) {
        case GL_NUM_COMPRESSED_TEXTURE_FORMATS:
            params[0] = (GLint)st().formats.size();
            break;
        case GL_COMPRESSED_TEXTURE_FORMATS:
            for (size_t i = 0; i < st().formats.size(); ++i) params[i] = st().formats[i];
            break;
        case GL_VIEWPORT:
            for (int i = 0; i < 4; ++i) params[i] = st().viewport[i];
            break;
        case GL_MAX_TEXTURE_SIZE:
            params[0] = 4096;
            break;
        case GL_TEXTURE_BINDING_2D:
            params[0] = (GLint)st().boundTexture;
            break;
        case GL_MATRIX_MODE:
            params[0] = (GLint)st().matrixMode;
            break;
        case GL_DEPTH_BITS:
            params[0] = 24;
            break;
        case GL_STENCIL_BITS:
            params[0] = 8;
            break;
        default:
            params[0] = 0;
            break;
        }
    }
};

template <>
struct Answer<nameHash("glGetFloatv")> {
    template <class R>
    static R run(GLenum pname, GLfloat* params) {
        if (!params) return;
        switch (pname) {
        case GL_MODELVIEW_MATRIX:
        case GL_PROJECTION_MATRIX:
        case GL_TEXTURE_MATRIX:
            for (int i = 0; i < 16; ++i) params[i] = (i % 5 == 0) ? 1.0f : 0.0f;
            break;
        case GL_VIEWPORT:
            for (int i = 0; i < 4; ++i) params[i] = (GLfloat)st().viewport[i];
            break;
        case GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT:
            params[0] = 16.0f;
            break;
        default:
            params[0] = 0.0f;
            break;
        }
    }
};

template <>
struct Answer<nameHash("glReadPixels")> {
    template <class R>
    static R run(GLint, GLint, GLsizei w, GLsizei h, GLenum format, GLenum type, GLvoid* pixels) {
        if (pixels && w > 0 && h > 0) memset(pixels, 0, (size_t)w * (size_t)h * recgl::pixelBytes(format, type));
    }
};

// Runs the call's answer, then writes its line (so filled arrays show).
template <class R, uint32_t H>
struct Call {
    const char* name;
    const recgl::ArgNames& names;
    template <class... A>
    R operator()(A... a) const {
        if (!st().blockName.empty() && st().blockName == name && ++st().blockCalls == st().blockAt)
            for (;;) pause();  // signal handlers still run on this thread
        if constexpr (std::is_void_v<R>) {
            Answer<H>::template run<R>(a...);
            trace(a...);
        } else {
            R r = Answer<H>::template run<R>(a...);
            trace(a...);
            return r;
        }
    }
    template <class... A>
    void trace(A... a) const {
        if (!st().tracing) return;
        recgl::Line l;
        recgl::begin(l, name, names);
        l.compressedFormats = (int)st().formats.size();
        (recgl::arg(l, a), ...);
        recgl::end(l);
        emit(l.text);
    }
};

}  // namespace

#define RECGL_DEFINE(ret, name, params, args)                        \
    RECGL_EXPORT ret name params {                                   \
        static const recgl::ArgNames argNames(#args);                \
        return Call<ret, nameHash(#name)>{#name, argNames} args;     \
    }
GL_API_LIST(RECGL_DEFINE)
GL_EXT_API_LIST(RECGL_DEFINE)
#undef RECGL_DEFINE

// ---------------------------------------------------------------- test side

// The lines written since the last take, each ending in a line feed; the
// text stays valid until the next call.
RECGL_EXPORT const char* recglTake(void) {
    st().taken.swap(st().lines);
    st().lines.clear();
    return st().taken.c_str();
}

RECGL_EXPORT void recglTracing(int on) { st().tracing = on != 0; }

// Back to the state at load: no lines, texture names from 1, environment
// settings again.
RECGL_EXPORT void recglReset(void) { readEnvironment(st()); }

RECGL_EXPORT void recglSetExtensions(const char* extensions) { st().extensions = extensions ? extensions : ""; }

RECGL_EXPORT void recglSetFormats(const int* formats, int count) {
    st().formats.assign(formats, formats + (count > 0 ? count : 0));
}

// A line from the recording GLU, so both land in one trace in call order.
RECGL_EXPORT void recglAppend(const char* line) {
    if (st().tracing && line) emit(line);
}
