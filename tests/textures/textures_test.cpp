// The texture manager over the real Modules/TL.so and the recording GL:
// the shared table, its uploads, reloads and failures.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "../recgl/recgl.h"
#include "../recgl/recgl_format.cpp"  // the recorder's data hash
#include "../tl/fixtures.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

// Each test in a fresh folder of its own, the texture files named relative to it.
struct Texman : ::testing::Test {
    std::string dir = MakeTempDir("texman"), old = std::filesystem::current_path();
    ThrowOnFailure throwing;
    void SetUp() override {
        setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
        [[maybe_unused]] static const bool bound = (RecglBind(), true);
        RecglReset();
        GLEXT.glCompressedTexImage2DARB =
            RecglEntry<decltype(GLEXT.glCompressedTexImage2DARB)>("glCompressedTexImage2DARB");
        hasDXT1 = hasDXT3 = hasDXT5 = true;
        TlBind();
        tmReset();
        tmSetLoaderOptions(0);
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override {
        TlUnbind();
        EXPECT_EQ(chdir(old.c_str()), 0);
        RemoveTree(dir);
    }
};

ShortString File(const std::string& name, const std::string& bytes) { return WriteFile(name, bytes), S(name); }
ShortString Tga(const std::string& name, int bpp = 24) { return File(name, fx::Tga(4, 2, bpp, fx::Pattern(4, 2))); }

std::string Stop(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& failure) {
        return failure.message;
    }
    return "no stop";
}

// The trace since the last take, a line feed after each call.
std::string Take() {
    std::string s;
    for (const std::string& l : RecglTake()) s += l + "\n";
    return s;
}

// "name glRef uploaded empty type reqs" of slot i.
std::string Slot(int i) {
    const TextureEntry& e = TextureManager[i];
    return str(e.name) + " " + std::to_string(e.glRef) + " " + std::to_string(e.uploaded) + " " +
           std::to_string(e.empty) + " " + std::to_string(e.type) + " " + std::to_string(e.reqs);
}

std::string Hash(const std::string& bytes) {
    char b[16];
    snprintf(b, sizeof b, "#%08x", recgl::hashBytes(bytes.data(), bytes.size()));
    return b;
}

std::string Made(uint32_t ref, int mode) {
    const char* filters[4][2] = {{"GL_NEAREST", "GL_NEAREST"}, {"GL_LINEAR", "GL_LINEAR"},
                                 {"GL_NEAREST", "GL_NEAREST_MIPMAP_NEAREST"}, {"GL_LINEAR", "GL_LINEAR_MIPMAP_LINEAR"}};
    std::string r = std::to_string(ref);
    return "glGenTextures(1, [" + r + "])\nglBindTexture(GL_TEXTURE_2D, " + r + ")\nglTexParameteri(GL_TEXTURE_2D, " +
           "GL_TEXTURE_MAG_FILTER, " + filters[mode][0] + ")\nglTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, " +
           filters[mode][1] + ")\n";
}

// The 4 x 2 picture with c (3 or 4) bytes a pixel, as modes 0 and 1 upload it, or 2 and 3 through GLU.
std::string Upload(int mode, int c) {
    fx::Rgba px = fx::Pattern(4, 2);
    std::string bytes, size = std::to_string(c) + ", 4, 2, ";
    for (size_t i = 0; i < px.size(); ++i)
        if (i % 4 < (size_t)c) bytes += (char)px[i];
    std::string data = std::string(c == 4 ? "GL_RGBA" : "GL_RGB") + ", GL_UNSIGNED_BYTE, " + Hash(bytes) + ")\n";
    return mode < 2 ? "glTexImage2D(GL_TEXTURE_2D, 0, " + size + "0, " + data
                    : "gluBuild2DMipmaps(GL_TEXTURE_2D, " + size + data;
}

// Stored levels go up one by one, then the level range is fixed.
std::string Levels(const std::string& levels, int count) {
    return "glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0)\n" + levels +
           "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, " + std::to_string(count - 1) + ")\n";
}

// The name of a reset slot is an ordinary name too.
TEST_F(Texman, SameNameAndModeIsSharedUntilTheLastRelease) {
    EXPECT_EQ(tmAcquire(Tga("empty"), 3), 1u);
    Take();
    EXPECT_EQ(tmAcquire(S("empty"), 3), 1u);
    tmRelease(0), tmRelease(12345);  // names the table does not hold change nothing
    EXPECT_EQ(tmDepthOf(0) + tmDepthOf(12345), 0);
    EXPECT_EQ(Take() + Slot(0), "empty 1 1 0 3 2");  // nothing loaded or bound
    tmRelease(1);
    EXPECT_EQ(Take() + Slot(0) + " " + std::to_string(tmDepthOf(1)), "empty 1 1 0 3 1 24");
    tmRelease(1);  // the freed slot keeps its old values
    EXPECT_EQ(Take() + Slot(0) + " " + std::to_string(tmDepthOf(1)), "glDeleteTextures(1, [1])\nempty 1 0 1 3 0 0");
    tmRelease(1);
    EXPECT_EQ(Take(), "");
    EXPECT_EQ(tmAcquire(Tga("b.tga"), 3), 2u);  // into the first free slot
    EXPECT_EQ(TextureManager[0].glRef, 2u);
}

TEST_F(Texman, EachModeFiltersAndUploadsAsItSaysAndLetterCaseCounts) {
    for (int mode = 0; mode < 4; ++mode) {
        EXPECT_EQ(tmAcquire(Tga("a.tga", mode % 2 ? 32 : 24), mode), mode + 1u);
        EXPECT_EQ(Take(), Made(mode + 1, mode) + Upload(mode, mode % 2 ? 4 : 3)) << mode;
    }
    EXPECT_EQ(tmAcquire(Tga("A.tga"), 3), 5u);
    EXPECT_EQ(tmAcquire(File("g.tga", fx::Tga(2, 2, 8, fx::Pattern(2, 2))), 1), 6u);  // grey arrives as RGB
    EXPECT_EQ((std::vector<int>{tmDepthOf(3), tmDepthOf(4), tmDepthOf(6)}), (std::vector<int>{24, 32, 24}));
    Take();
    EXPECT_EQ(tmAcquire(S("a.tga"), 7), 7u);  // other modes make a bare texture
    EXPECT_EQ(Take(), "glGenTextures(1, [7])\nglBindTexture(GL_TEXTURE_2D, 7)\n");
}

TEST_F(Texman, StoredLevelsGoUpAsTheyAreWithClampedSizes) {
    // A DXT1 chain 4 x 1, 2 x 1, 1 x 1, each level one block of its own bytes.
    ShortString chain = File("c.dds", fx::Dds("DXT1", 4, 1, 3, std::string(8, 'a') + std::string(8, 'b') + "cccccccc"));
    std::string compressed;
    for (int i = 0; i < 3; ++i)
        compressed += "glCompressedTexImage2DARB(GL_TEXTURE_2D, " + std::to_string(i) + ", GL_COMPRESSED_RGB_S3TC_DXT1_EXT, "
                      + std::to_string(4 >> i) + ", 1, 0, 8, " + Hash(std::string(8, 'a' + i)) + ")\n";
    EXPECT_EQ(tmAcquire(chain, 3), 1u);  // a mipmap mode takes the stored chain
    EXPECT_EQ(Take() + std::to_string(tmDepthOf(1)), Made(1, 3) + Levels(compressed, 3) + "24");
    // Without the compressed entry point the levels are skipped silently.
    GLEXT.glCompressedTexImage2DARB = nullptr;
    EXPECT_EQ(tmAcquire(chain, 1), 2u);
    EXPECT_EQ(Take() + Slot(1), Made(2, 1) + Levels("", 3) + "c.dds 2 1 0 1 1");
}

// The GL's three DXT answers reach the module before every load, acquired
// or reloaded, whatever the module was told in between; so do the options
// of the settings.
TEST_F(Texman, TheLoaderOptionsReachTheModuleBeforeEveryLoadAndReload) {
    const char* fourcc[3] = {"DXT1", "DXT3", "DXT5"};
    const int formats[3] = {TX_DXT1, TX_DXT3, TX_DXT5};
    bool* has[3] = {&hasDXT1, &hasDXT3, &hasDXT5};
    for (int f = 0; f < 3; ++f) File(fourcc[f], fx::Dds(fourcc[f], 4, 4, 1, std::string(f ? 16 : 8, 'q')));
    // The uploads, compressed (C) or decoded (P), with the GL's answers set
    // to `answers` and the module told the opposite.
    auto uploads = [&](const char* answers, const std::function<void()>& load) {
        for (int f = 0; f < 3; ++f) *has[f] = answers[f] == 'C', TextureLoader.txOptions(formats[f], !*has[f]);
        load();
        std::string s;
        for (const std::string& l : RecglTake())
            s += l.rfind("glCompressedTexImage2DARB(", 0) == 0 ? "C" : l.rfind("glTexImage2D(", 0) == 0 ? "P" : "";
        return s;
    };
    EXPECT_EQ(uploads("CPC", [&] { for (const char* f : fourcc) tmAcquire(S(f), 0); }), "CPC");
    EXPECT_EQ(uploads("PCP", [&] { for (const char* f : fourcc) tmAcquire(S(f), 1); }), "PCP");
    EXPECT_EQ(uploads("CPC", [] { tmReloadAll(); }), "CPCCPC");
    EXPECT_EQ(uploads("PCP", [] { tmReloadAll(); }), "PCPPCP");
    tmSetLoaderOptions(2);
    EXPECT_EQ(TextureLoader.txOptions(TX_OPTION_REDUCE, 0), 2);
    EXPECT_EQ(TextureLoader.txOptions(TX_OPTION_ROWORDER, 1), 1);  // top row first
}

TEST_F(Texman, ReloadAllReadsTheFilesAgainUnderNewNamesInTheSameSlots) {
    tmAcquire(Tga("a.tga"), 1);
    tmAcquire(S("a.tga"), 1);
    tmAcquire(Tga("b.tga", 32), 3);
    tmAcquire(Tga("c.tga"), 0);
    tmRelease(3);  // slot 2 free again
    Tga("a.tga", 32);  // the file changes on disk
    Take();
    tmReloadAll();
    EXPECT_EQ(Take(), "glDeleteTextures(1, [1])\n" + Made(4, 1) + Upload(1, 4) + "glDeleteTextures(1, [2])\n" +
                          Made(5, 3) + Upload(3, 4));
    EXPECT_EQ(Slot(0) + ", " + Slot(1) + ", " + Slot(2), "a.tga 4 1 0 1 2, b.tga 5 1 0 3 1, c.tga 3 0 1 0 0");
    EXPECT_EQ(tmDepthOf(4), 32);
    unlink("a.tga");
    EXPECT_EQ(Stop([] { tmReloadAll(); }), "Error occoured ! Texture Loader Error. (NIL RETURN VALUE)");
    tmReleaseAll();  // deletes what is uploaded and resets every slot, depth kept
    EXPECT_EQ(Take() + Slot(1) + " " + std::to_string(TextureManager[1].depth),
              "glDeleteTextures(1, [4])\nglDeleteTextures(1, [5])\nempty 0 0 1 3 0 32");
}

TEST_F(Texman, FilesThatDoNotLoadAndAFullTableAreFatalStops) {
    std::string tga = fx::Tga(1, 1, 24, fx::Pattern(1, 1));
    EXPECT_EQ(Stop([] { tmAcquire(S("missing.tga"), 3); }), "Error occoured ! Texture Loader Error. ( missing.tga )");
    EXPECT_EQ(Slot(0), "missing.tga 0 0 0 3 1");  // the slot stays taken
    tmReset();
    RecglTracing(false);
    for (int i = 0; i < TextureSlots; ++i) tmAcquire(File("t" + std::to_string(i), tga), 1);
    EXPECT_EQ(Stop([&] { tmAcquire(File("extra", tga), 1); }),
              "Error occoured ! Texture table full: all 1001 slots are in use. ( extra )");
    RecglTracing(true);
    // No loader, or a library that loads but is no texture loader: a stop at once.
    setenv("VELMAR_MODULE_TL", "/nonexistent/TL.so", 1);
    EXPECT_EQ(Stop(TlBind), "Ember textura loader not found. Please reinstall this software.");
    setenv("VELMAR_MODULE_TL", RecglPath().c_str(), 1);
    EXPECT_EQ(Stop(TlBind), "Ember textura loader entry point txInit not found. Please reinstall this software.");
}

}  // namespace
