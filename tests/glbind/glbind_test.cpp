// The GL and GLU binding and the extension check, against the recording GL.
#include <gtest/gtest.h>

#include "glbind/glbind.h"
#include "recgl/recgl.h"
#include "support/showrun.h"
#include "support/support.h"

extern "C" size_t BS_MemLabelBytes(const char* label);

namespace {

struct GlBindTest : ::testing::Test {
    void SetUp() override {
        RecglUse();
        GlBind();
        GluBind();
        RecglReset();
        GlExtLoader = nullptr;
    }
    void TearDown() override {
        GlExtLoader = nullptr;
        GluUnbind();
        GlUnbind();
        RecglReset();
        RecglUse();
    }
    // glInitExt's log for an extension string and a format list.
    std::vector<std::string> check(const std::string& extensions, const std::vector<int>& formats) {
        RecglSetExtensions(extensions);
        RecglSetFormats(formats);
        LogCapture log;
        glInitExt();
        return log.lines();
    }
};

std::vector<std::string> ChecksWith(const std::vector<std::string>& answers) {
    const char* names[] = {"GL_EXT_compiled_vertex_array", "GL_EXT_texture_cube_map", "GL_ARB_multitexture",
                           "GL_ARB_texture_env_combine", "GL_ARB_texture_env_dot3", "GL_ARB_texture_compression",
                           "GL_EXT_texture_compression_s3tc"};
    std::vector<std::string> out = {"[gl] --- check extensions:"};
    for (int i = 0; i < 7; ++i) out.push_back(std::string("[gl] ") + names[i] + " : " + answers[i]);
    return out;
}

const std::string All =
    "GL_EXT_compiled_vertex_array GL_EXT_texture_cube_map GL_ARB_multitexture GL_ARB_texture_env_combine "
    "GL_ARB_texture_env_dot3 GL_ARB_texture_compression GL_EXT_texture_compression_s3tc";

TEST_F(GlBindTest, EveryListedEntryPointIsBoundAndCallsGoToTheLibrary) {
    EXPECT_NE(GL.handle, nullptr);
#define EXPECT_GL(ret, name, params, args) EXPECT_NE((void*)GL.name, nullptr) << #name;
#define EXPECT_GLU(ret, name, params, args) EXPECT_NE((void*)GLU.name, nullptr) << #name;
    GL_API_LIST(EXPECT_GL)
    GLU_API_LIST(EXPECT_GLU)
#undef EXPECT_GL
#undef EXPECT_GLU
    for (int i = 0; i < GluSlotCount; ++i) EXPECT_NE(GLU.slot[i], nullptr) << i;
    EXPECT_EQ(GluSlotCount, 44);
    GL.glEnable(GL_BLEND);
    GL.glBlendFunc(GL_ONE, GL_ONE);
    GLU.gluPerspective(45, 4.0 / 3.0, 1, 1000);
    EXPECT_EQ(RecglTake(), (std::vector<std::string>{"glEnable(GL_BLEND)", "glBlendFunc(GL_ONE, GL_ONE)",
                                                      "gluPerspective(45, 1.3333333333333333, 1, 1000)"}));
    // The typed GLU slots are the table's own entries.
    EXPECT_EQ((void*)GLU.gluLookAt, GLU.slot[0]);
    EXPECT_EQ((void*)GLU.gluBuild2DMipmaps, GLU.slot[9]);
}

TEST_F(GlBindTest, ExitProceduresReleaseAndClearTheTables) {
    GluUnbind();
    GlUnbind();
    EXPECT_EQ(GL.handle, nullptr);
    EXPECT_EQ((void*)GL.glEnable, nullptr);
    EXPECT_EQ(GLU.handle, nullptr);
    EXPECT_EQ((void*)GLU.gluOrtho2D, nullptr);
    // A second release changes nothing.
    GlUnbind();
    GluUnbind();
}

TEST_F(GlBindTest, AllExtensionsAndTheDriversFormatsInItsOrder) {
    auto lines = check(All, {33779, 33777, 33776, 33778, 33776, 34000});
    auto expected = ChecksWith(std::vector<std::string>(7, "available"));
    expected.push_back("[gl]  supported DXTC modes (6): DXT5 DXT1 DXT3 DXT1");
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(hasCompiledVertexArray && hasTextureCubeMap && hasMultitexture && hasTextureEnvCombine &&
                hasTextureEnvDot3 && hasTextureCompression);
    EXPECT_TRUE(hasDXT1 && hasDXT3 && hasDXT5);
    // The format block is given back.
    EXPECT_EQ(BS_MemLabelBytes("glInitExt: DDS Support"), 0u);
}

TEST_F(GlBindTest, ThreeFormatsWithDxt1AlphaListOnlyDxt1AndDxt5) {
    auto lines = check(All, {33776, 33777, 33779});
    EXPECT_EQ(lines.back(), "[gl]  supported DXTC modes (3): DXT1 DXT5");
    EXPECT_TRUE(hasDXT1);
    EXPECT_FALSE(hasDXT3);
    EXPECT_TRUE(hasDXT5);
}

TEST_F(GlBindTest, AnEmptyFormatListGivesTheCountZero) {
    auto lines = check(All, {});
    EXPECT_EQ(lines.back(), "[gl]  supported DXTC modes (0):");
    EXPECT_FALSE(hasDXT1 || hasDXT3 || hasDXT5);
}

TEST_F(GlBindTest, CompressionWithoutS3tcIsNotAvailable) {
    check(All, {33776});  // flags set first, to see them cleared
    RecglTake();
    auto lines = check("GL_ARB_texture_compression GL_ARB_multitexture", {33776, 33778, 33779});
    auto expected = ChecksWith({"not available", "not available", "available", "not available", "not available",
                                "available", "not available"});
    expected.push_back("[gl] DXTC : not available.");
    EXPECT_EQ(lines, expected);
    EXPECT_FALSE(hasTextureCompression);
    EXPECT_FALSE(hasDXT1 || hasDXT3 || hasDXT5);
    EXPECT_FALSE(hasCompiledVertexArray);
    EXPECT_TRUE(hasMultitexture);
    // No format query without the extension.
    EXPECT_TRUE(RecglOnly(RecglTake(), "glGetIntegerv").empty());
}

TEST_F(GlBindTest, ALongerNameCountsAsTheExtensionItBeginsWith) {
    auto lines = check("GL_EXT_texture_cube_map_array", {});
    EXPECT_EQ(lines[2], "[gl] GL_EXT_texture_cube_map : available");
    EXPECT_TRUE(hasTextureCubeMap);
    EXPECT_EQ(lines.back(), "[gl] DXTC : not available.");
}

TEST_F(GlBindTest, NoExtensionStringAtAllIsNothingAvailable) {
    GL.glGetString = [](GLenum) -> const GLubyte* { return nullptr; };
    LogCapture log;
    glInitExt();
    auto expected = ChecksWith(std::vector<std::string>(7, "not available"));
    expected.push_back("[gl] DXTC : not available.");
    EXPECT_EQ(log.lines(), expected);
}

void* loaderAnswer = (void*)0x1234;
void* anyName(const char*) { return loaderAnswer; }

TEST_F(GlBindTest, TheCompressedUploadIsBoundOnlyWhenTheDriverListsItsExtension) {
    GlExtLoader = anyName;  // answers for every name, as libglvnd does
    check(All, {33776});
    EXPECT_EQ((void*)GLEXT.glCompressedTexImage2DARB, loaderAnswer);
    check("GL_EXT_texture_compression_s3tc", {33776});
    EXPECT_EQ((void*)GLEXT.glCompressedTexImage2DARB, nullptr);
    GlExtLoader = nullptr;
    check(All, {33776});
    EXPECT_EQ((void*)GLEXT.glCompressedTexImage2DARB, nullptr);
}

// Guards the control-room freeze: llvmpipe's anisotropic filter spun for
// minutes on a nearly edge-on triangle, so it gets plain filtering.
TEST_F(GlBindTest, OnlyLlvmpipeGetsItsAnisotropyLimitedToOneWithALogLine) {
    const std::string line = "[gl] llvmpipe: anisotropic filtering limited to 1 (its filter has no bound on nearly "
                             "edge-on triangles)";
    const struct {
        const char* renderer;
        float limit;
    } cases[] = {{"llvmpipe (LLVM 15.0.6, 256 bits)", 1}, {"softpipe", 0}, {"Mesa Intel(R) UHD Graphics", 0}, {"", 0}};
    for (const auto& c : cases) {
        setenv("VELMAR_RECGL_RENDERER", c.renderer, 1);
        RecglReset();
        glAnisotropyLimit = 7;  // whatever an earlier window left
        LogCapture log;
        glCheckDriverLimits();
        EXPECT_EQ(glAnisotropyLimit, c.limit) << c.renderer;
        EXPECT_EQ(log.lines(), c.limit ? std::vector<std::string>{line} : std::vector<std::string>{}) << c.renderer;
    }
    unsetenv("VELMAR_RECGL_RENDERER");
    RecglReset();
    glAnisotropyLimit = 0;
}

TEST_F(GlBindTest, RegistrationsAtSlotsTwoAndThree) {
    SubsystemRegistry saved = Registry;
    Registry = SubsystemRegistry{};
    GlRegisterUnits();
    EXPECT_EQ(str(Registry.init.slot[2].name), "GL unit ...");
    EXPECT_EQ(str(Registry.exit.slot[2].name), "GL unit ...");
    EXPECT_EQ(str(Registry.init.slot[3].name), "GLU unit ...");
    EXPECT_EQ(str(Registry.exit.slot[3].name), "Uninit GLU unit ...");
    EXPECT_EQ(Registry.init.slot[2].proc, GlBind);
    EXPECT_EQ(Registry.exit.slot[3].proc, GluUnbind);
    Registry = saved;
}

// ---------------------------------------------------------------- failures

struct GlBindFailure : ::testing::Test {
    void TearDown() override {
        GlUnbind();
        GluUnbind();
        RecglUse();
    }
};

std::string StopMessage(void (*bind)()) {
    ThrowOnFailure guard;
    try {
        bind();
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailFatalStop);
        return f.message;
    }
    return "";
}

TEST_F(GlBindFailure, AMissingLibraryStopsWithAReinstallMessage) {
    setenv("VELMAR_MODULE_OPENGL32_DLL", "/nonexistent/libGL.so.1", 1);
    EXPECT_EQ(StopMessage(GlBind), "OpenGL (libGL.so.1) could not be loaded. Please reinstall this software.");
    EXPECT_EQ((void*)GL.glEnable, nullptr);
    setenv("VELMAR_MODULE_GLU32_DLL", "/nonexistent/libGLU.so.1", 1);
    EXPECT_EQ(StopMessage(GluBind), "GLU (libGLU.so.1) could not be loaded. Please reinstall this software.");
}

TEST_F(GlBindFailure, ALibraryWithoutTheEntryPointsStopsNamingTheFirstMissing) {
    // The fake window manager has no GL names, the GL library no GLU names.
    setenv("VELMAR_MODULE_OPENGL32_DLL", FakeWmPath().c_str(), 1);
    EXPECT_EQ(StopMessage(GlBind), "OpenGL entry point glAlphaFunc not found. Please reinstall this software.");
    setenv("VELMAR_MODULE_GLU32_DLL", RecglPath().c_str(), 1);
    EXPECT_EQ(StopMessage(GluBind), "GLU entry point gluBuild2DMipmaps not found. Please reinstall this software.");
}

}  // namespace
