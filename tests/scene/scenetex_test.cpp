// Scene textures through the texture manager, over the real texture-loader
// module and the recording GL.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "../recgl/recgl.h"
#include "../tl/fixtures.h"
#include "glbind/glbind.h"
#include "scene_helpers.h"
#include "support/support.h"
#include "textures/texman.h"

namespace {

struct SceneTextures : ::testing::Test {
    std::string dir;
    ThrowOnFailure throwing;
    Scene s{};

    void SetUp() override {
        static bool bound = [] {
            setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
            RecglUse();
            GlBind();
            GluBind();
            return true;
        }();
        (void)bound;
        ASSERT_TRUE(GL.handle);
        TlBind();
        tmReset();
        tmSetLoaderOptions(0);
        RecglReset();
        dir = MakeTempDir("scenetex");
        WriteFile(dir + "/steel.tga", fx::Tga(4, 2, 32, fx::Pattern(4, 2)));
        WriteFile(dir + "/env.tga", fx::Tga(4, 2, 24, fx::Pattern(4, 2)));
        WriteFile(dir + "/spark.tga", fx::Tga(2, 2, 24, fx::Pattern(2, 2)));

        s.name = S("tex");
        s.materialcount = 3;
        s.materials = (Material*)Base.BS_MemGet(3 * sizeof(Material), "test materials");
        Material* m = s.materials;
        m[0].textured = true, m[0].texturename = S("$framebuffer$.jpg"), m[0].depth = 24, m[0].magtype = 1;
        m[1].textured = true, m[1].texturename = S("steel.tga"), m[1].depth = 24, m[1].magtype = 1;
        m[1].envmap = true, m[1].envmaptexture = S("env.tga");
        m[2].texturename = S("not-there.tga"), m[2].depth = 24;  // not textured: never loaded
        s.objectcount = 3;
        s.objects = (SceneObject*)Base.BS_MemGet(3 * sizeof(SceneObject), "test objects");
        s.objects[0].particleenabled = true, s.objects[0].particletexture = S("spark.tga");
        s.objects[1].particleenabled = true;  // no texture name: nothing to load
        s.objects[2].particletexture = S("not-there.tga");  // not an emitter
    }
    void TearDown() override {
        ReleaseScene(s);
        TlUnbind();
        RemoveTree(dir);
    }
    TextureEntry* slotOf(uint32_t ref) {
        for (TextureEntry& e : TextureManager)
            if (e.glRef == ref && !e.empty) return &e;
        return nullptr;
    }
    int inUse() {
        int n = 0;
        for (const TextureEntry& e : TextureManager) n += !e.empty;
        return n;
    }
};

TEST_F(SceneTextures, MaterialsAndEmittersGetTheirTextures) {
    SetupSceneTextures(s, S(dir));
    EXPECT_EQ(s.materials[0].glname, 0u);  // the frame copy: no file
    EXPECT_EQ(s.materials[0].depth, 24);
    ASSERT_NE(s.materials[1].glname, 0u);
    EXPECT_EQ(s.materials[1].depth, 32);
    TextureEntry* base = slotOf(s.materials[1].glname);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(str(base->name), dir + "/steel.tga");
    EXPECT_EQ(base->type, 1);  // the material's filter
    TextureEntry* env = slotOf(s.materials[1].envmapglname);
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(str(env->name), dir + "/env.tga");
    EXPECT_EQ(env->type, 3);  // mipmapped whatever magtype says
    EXPECT_EQ(s.materials[2].glname, 0u);
    TextureEntry* spark = slotOf(s.objects[0].particleglname);
    ASSERT_NE(spark, nullptr);
    EXPECT_EQ(str(spark->name), dir + "/spark.tga");
    EXPECT_EQ(spark->type, 3);
    EXPECT_EQ(s.objects[1].particleglname, 0u);
    EXPECT_EQ(s.objects[2].particleglname, 0u);
    EXPECT_EQ(inUse(), 3);
}

TEST_F(SceneTextures, ReleaseGivesBackWhatSetupTook) {
    SetupSceneTextures(s, S(dir));
    SetupSceneTextures(s, S(dir));  // a second scene sharing the files
    EXPECT_EQ(inUse(), 3);
    EXPECT_EQ(slotOf(s.materials[1].glname)->reqs, 2);
    ReleaseSceneTextures(s);
    EXPECT_EQ(inUse(), 3);
    ReleaseSceneTextures(s);
    EXPECT_EQ(inUse(), 0);
}

TEST_F(SceneTextures, AMissingTextureFileStopsWithTheManagersMessage) {
    s.materials[1].texturename = S("gone.tga");
    try {
        SetupSceneTextures(s, S(dir));
        ADD_FAILURE() << "no stop";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailFatalStop);
        EXPECT_NE(f.message.find(dir + "/gone.tga"), std::string::npos) << f.message;
    }
}

// Guards a texture path cut to 255 characters: it named another file.
TEST_F(SceneTextures, APathLongerThanAShortStringIsRunTimeError3NotAnotherFile) {
    std::string name(255 - dir.size() - 1, 'n');  // folder + "/" + name: exactly 255
    WriteFile(dir + "/" + name, fx::Tga(2, 2, 24, fx::Pattern(2, 2)));
    s.materials[1].texturename = S(name);
    SetupSceneTextures(s, S(dir));
    EXPECT_EQ(inUse(), 3);
    ReleaseSceneTextures(s);
    s.materials[1].texturename = S(name + "x");
    try {
        SetupSceneTextures(s, S(dir));
        ADD_FAILURE() << "no stop";
    } catch (const Failure& f) {
        EXPECT_EQ(f.kind, FailRunError);
        EXPECT_EQ(f.code, 3);
        EXPECT_EQ(f.message, "path longer than 255 characters: " + dir + "/" + name + "x");
    }
}

}  // namespace
