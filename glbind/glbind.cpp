#include "glbind.h"

#include <cstring>
#include <string>

#include "../frame/frame.h"

GlFunctions GL;
GluFunctions GLU;
GlExtFunctions GLEXT;
GlProcLoader GlExtLoader = nullptr;

bool hasCompiledVertexArray = false;
bool hasTextureCubeMap = false;
bool hasTextureCompression = false;
bool hasMultitexture = false;
bool hasTextureEnvCombine = false;
bool hasTextureEnvDot3 = false;
bool hasDXT1 = false;
bool hasDXT3 = false;
bool hasDXT5 = false;
float glAnisotropyLimit = 0;

namespace {

const char* const GluNames[GluSlotCount] = {
#define GLU_NAME(name) #name,
    GLU_NAME_LIST(GLU_NAME, GLU_NAME)
#undef GLU_NAME
};

void* gluSlotOf(const char* name) {
    for (int i = 0; i < GluSlotCount; ++i)
        if (std::strcmp(GluNames[i], name) == 0) return GLU.slot[i];
    return nullptr;
}

[[noreturn]] void missingEntry(const char* library, const char* name) {
    FatalStop(S(library) + " entry point " + name + " not found. Please reinstall this software.");
}

// One line per extension: "[gl] NAME : available" or "... : not available".
bool checkExtension(const char* extensions, const char* name) {
    LogText(S("[gl] ") + name + " : ");
    bool found = std::strstr(extensions, name) != nullptr;
    if (!found) LogText("not ");
    LogLine("available");
    return found;
}

void reportCompressedFormats() {
    GLint n = 0;
    GL.glGetIntegerv(GL_NUM_COMPRESSED_TEXTURE_FORMATS_ARB, &n);
    if (n < 0) n = 0;
    // The driver writes n values; the block is generous, as it always was.
    void* block = Base.BS_MemGet((size_t)n * 16, "glInitExt: DDS Support");
    GLint* formats = (GLint*)block;
    if (n > 0) GL.glGetIntegerv(GL_COMPRESSED_TEXTURE_FORMATS_ARB, formats);
    LogText(S("[gl]  supported DXTC modes (") + std::to_string(n) + "):");
    for (GLint i = 0; i < n; ++i) {
        switch (formats[i]) {
        case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
            LogText(" DXT1");
            hasDXT1 = true;
            break;
        case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
            LogText(" DXT3");
            hasDXT3 = true;
            break;
        case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT:
            LogText(" DXT5");
            hasDXT5 = true;
            break;
        default:
            break;
        }
    }
    LogLine("");
    Base.BS_MemFree(&block);
}

}  // namespace

void GlBind() {
    GL = GlFunctions{};
    GL.handle = Base.BS_DlOpen("OpenGL32.dll");
    if (!GL.handle) FatalStop("OpenGL (libGL.so.1) could not be loaded. Please reinstall this software.");
#define GL_BIND(ret, name, params, args) GL.name = (ret(*) params)Base.BS_DlGetProc(GL.handle, #name);
    GL_API_LIST(GL_BIND)
#undef GL_BIND
#define GL_CHECK(ret, name, params, args) \
    if (!GL.name) missingEntry("OpenGL", #name);
    GL_API_LIST(GL_CHECK)
#undef GL_CHECK
}

void GlUnbind() {
    if (GL.handle) Base.BS_DlClose(GL.handle);
    GL = GlFunctions{};
    GLEXT = GlExtFunctions{};
}

void GluBind() {
    GLU = GluFunctions{};
    GLU.handle = Base.BS_DlOpen("glu32.dll");
    if (!GLU.handle) FatalStop("GLU (libGLU.so.1) could not be loaded. Please reinstall this software.");
    for (int i = 0; i < GluSlotCount; ++i) GLU.slot[i] = Base.BS_DlGetProc(GLU.handle, GluNames[i]);
#define GLU_TYPED(ret, name, params, args) \
    GLU.name = (ret(*) params)gluSlotOf(#name); \
    if (!GLU.name) missingEntry("GLU", #name);
    GLU_API_LIST(GLU_TYPED)
#undef GLU_TYPED
}

void GluUnbind() {
    if (GLU.handle) Base.BS_DlClose(GLU.handle);
    GLU = GluFunctions{};
}

void GlRegisterUnits() {
    RegisterInit(S("GL unit ..."), 2, GlBind);
    RegisterExit(S("GL unit ..."), 2, GlUnbind);
    RegisterInit(S("GLU unit ..."), 3, GluBind);
    RegisterExit(S("Uninit GLU unit ..."), 3, GluUnbind);
}

void glInitExt() {
    const GLubyte* got = GL.glGetString ? GL.glGetString(GL_EXTENSIONS) : nullptr;
    const char* extensions = got ? (const char*)got : "";
    LogLine("[gl] --- check extensions:");
    hasCompiledVertexArray = checkExtension(extensions, "GL_EXT_compiled_vertex_array");
    hasTextureCubeMap = checkExtension(extensions, "GL_EXT_texture_cube_map");
    hasMultitexture = checkExtension(extensions, "GL_ARB_multitexture");
    hasTextureEnvCombine = checkExtension(extensions, "GL_ARB_texture_env_combine");
    hasTextureEnvDot3 = checkExtension(extensions, "GL_ARB_texture_env_dot3");
    hasTextureCompression = checkExtension(extensions, "GL_ARB_texture_compression");
    hasTextureCompression = checkExtension(extensions, "GL_EXT_texture_compression_s3tc");
    hasDXT1 = hasDXT3 = hasDXT5 = false;
    if (hasTextureCompression && GL.glGetIntegerv)
        reportCompressedFormats();
    else
        LogLine("[gl] DXTC : not available.");

    GLEXT = GlExtFunctions{};
#define GLEXT_BIND(name, extension)                                                  \
    if (GlExtLoader && std::strstr(extensions, extension))                            \
        GLEXT.name = (decltype(GLEXT.name))GlExtLoader(#name);
    GL_EXT_REQUIRES(GLEXT_BIND)
#undef GLEXT_BIND
}

namespace {
template <class F>
struct Nothing;
template <class R, class... A>
struct Nothing<R (*)(A...)> {
    static R call(A...) { return R(); }
};

struct DrawingCalls {
#define GL_DRAWING_SLOT(name) decltype(GL.name) name;
    GL_DRAWING_LIST(GL_DRAWING_SLOT)
#undef GL_DRAWING_SLOT
    bool off;
} g_drawing{};
}  // namespace

void glDrawNothing(bool on) {
    if (on == g_drawing.off) return;
#define GL_DRAWING_SWAP(name)                                 \
    if (on) g_drawing.name = GL.name, GL.name = &Nothing<decltype(GL.name)>::call; \
    else GL.name = g_drawing.name;
    GL_DRAWING_LIST(GL_DRAWING_SWAP)
#undef GL_DRAWING_SWAP
    g_drawing.off = on;
}

void glCheckDriverLimits() {
    glAnisotropyLimit = 0;
    const GLubyte* got = GL.glGetString ? GL.glGetString(GL_RENDERER) : nullptr;
    const char* renderer = got ? (const char*)got : "";
    if (std::strstr(renderer, "llvmpipe")) {
        glAnisotropyLimit = 1;
        LogLine("[gl] llvmpipe: anisotropic filtering limited to 1 (its filter has no bound on nearly edge-on "
                "triangles)");
    }
}
