// The GL and GLU binding and the extension check, against the recording GL.
#include <gtest/gtest.h>

#include "glbind/glbind.h"
#include "recgl/recgl.h"
#include "support/showrun.h"
#include "support/support.h"

extern "C" size_t BS_MemLabelBytes(const char* label);

namespace {

struct GlBindTest : ::testing::Test {
    void SetUp() override { RecglBind(); }
    void TearDown() override {
        GlExtLoader = nullptr;
        RecglUnbind();
        RecglUse();
        unsetenv("VELMAR_RECGL_RENDERER");
        RecglReset();
    }
};

TEST_F(GlBindTest, EachExtensionIsLoggedAndTheDriversDxtcFormatsListedInItsOrder) {
    const char* names[] = {"GL_EXT_compiled_vertex_array", "GL_EXT_texture_cube_map", "GL_ARB_multitexture",
                           "GL_ARB_texture_env_combine", "GL_ARB_texture_env_dot3", "GL_ARB_texture_compression",
                           "GL_EXT_texture_compression_s3tc"};
    std::string all;
    for (const char* n : names) all += std::string(n) + " ";
    const std::string no = "[gl] DXTC : not available.", modes = "[gl]  supported DXTC modes ";
    const struct {
        std::string extensions;  // "-": the driver gives no string at all
        std::vector<int> formats;
        const char* found;  // the seven checks
        std::string last;
        const char* flags;  // compiled, cube, multi, combine, dot3, compression, DXT1, DXT3, DXT5
        bool upload;        // glCompressedTexImage2DARB bound
    } cases[] = {
        {all, {33779, 33777, 33776, 33778, 33776, 34000}, "1111111", modes + "(6): DXT5 DXT1 DXT3 DXT1", "111111111",
         true},
        {all, {33776, 33777, 33779}, "1111111", modes + "(3): DXT1 DXT5", "111111101", true},
        {all, {}, "1111111", modes + "(0):", "111111000", true},  // the flags of the case before go
        {"GL_ARB_texture_compression GL_ARB_multitexture", {33776}, "0010010", no, "001000000", true},
        {"GL_EXT_texture_compression_s3tc", {33776}, "0000001", modes + "(1): DXT1", "000001100", false},
        {"GL_EXT_texture_cube_map_array", {}, "0100000", no, "010000000", false},  // counts as the shorter name
        {"-", {}, "0000000", no, "000000000", false},
    };
    GlExtLoader = [](const char*) -> void* { return (void*)0x1234; };  // any name, as libglvnd answers
    for (const auto& c : cases) {
        if (c.extensions == "-") GL.glGetString = [](GLenum) -> const GLubyte* { return nullptr; };
        RecglSetExtensions(c.extensions);
        RecglSetFormats(c.formats);
        LogCapture log;
        glInitExt();
        std::vector<std::string> want = {"[gl] --- check extensions:"};
        for (int i = 0; i < 7; ++i)
            want.push_back(std::string("[gl] ") + names[i] + " : " + (c.found[i] == '1' ? "" : "not ") + "available");
        want.push_back(c.last);
        EXPECT_EQ(log.lines(), want) << c.last;
        std::string flags;
        for (bool f : {hasCompiledVertexArray, hasTextureCubeMap, hasMultitexture, hasTextureEnvCombine,
                       hasTextureEnvDot3, hasTextureCompression, hasDXT1, hasDXT3, hasDXT5})
            flags += f ? '1' : '0';
        EXPECT_EQ(flags, c.flags) << c.last;
        EXPECT_EQ(GLEXT.glCompressedTexImage2DARB != nullptr, c.upload) << c.last;
        EXPECT_EQ(BS_MemLabelBytes("glInitExt: DDS Support"), 0u);  // the format block is given back
    }
}

// Guards the llvmpipe stall: its anisotropic filter spun for minutes on a nearly edge-on triangle.
TEST_F(GlBindTest, OnlyLlvmpipeGetsItsAnisotropyLimitedToOneWithALogLine) {
    for (std::string renderer : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe", "Mesa Intel(R) UHD Graphics", ""}) {
        setenv("VELMAR_RECGL_RENDERER", renderer.c_str(), 1);
        RecglReset();
        glAnisotropyLimit = 7;  // whatever an earlier window left
        LogCapture log;
        glCheckDriverLimits();
        bool llvmpipe = renderer[0] == 'l';
        EXPECT_EQ(glAnisotropyLimit, llvmpipe ? 1 : 0) << renderer;
        EXPECT_EQ(log.text, llvmpipe ? "[gl] llvmpipe: anisotropic filtering limited to 1 (its filter has no "
                                       "bound on nearly edge-on triangles)\n" : "") << renderer;
    }
}

// Guards calls through a library that is missing or lacks entry points (GL names, GLU names).
TEST_F(GlBindTest, ALibraryThatCannotServeStopsWithAReinstallMessage) {
    RecglUnbind();
    const std::string cases[][3] = {
        {"VELMAR_MODULE_OPENGL32_DLL", "/nonexistent/libGL.so.1", "OpenGL (libGL.so.1) could not be loaded."},
        {"VELMAR_MODULE_GLU32_DLL", "/nonexistent/libGLU.so.1", "GLU (libGLU.so.1) could not be loaded."},
        {"VELMAR_MODULE_OPENGL32_DLL", FakeWmPath(), "OpenGL entry point glAlphaFunc not found."},
        {"VELMAR_MODULE_GLU32_DLL", RecglPath(), "GLU entry point gluBuild2DMipmaps not found."},
    };
    for (const auto& [variable, library, message] : cases) {
        setenv(variable.c_str(), library.c_str(), 1);
        ThrowOnFailure guard;
        try {
            (variable == "VELMAR_MODULE_GLU32_DLL" ? GluBind : GlBind)();
            ADD_FAILURE() << message;
        } catch (const Failure& f) {
            EXPECT_EQ(f.message, message + " Please reinstall this software.");
        }
    }
    GlRegisterUnits();  // GL goes after GLU at the end
    EXPECT_TRUE(Registry.exit.slot[3].proc == GluUnbind && Registry.exit.slot[2].proc == GlUnbind);
}

}  // namespace
