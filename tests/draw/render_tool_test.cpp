// velmar scene render: a scene file drawn headless by the engine into a PNG.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "draw_helpers.h"
#include "scene/scenefile.h"
#include "support/support.h"

namespace {

const char NoCamera[] = "VELMAR: Scene not renderable without camera animation target and position track";

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct RenderTool : ::testing::Test {
    ThrowOnFailure throwing;
    std::string dir, scene, out;
    void SetUp() override {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        dir = MakeTempDir("render");
        mkdir((dir + "/3ddata").c_str(), 0755);
        mkdir((dir + "/Textures").c_str(), 0755);
        scene = dir + "/3ddata/room.vlm";
        out = dir + "/room.png";
    }
    void TearDown() override { RemoveTree(dir); }

    // A lit floor with a textured cube above it, a light over both, and an
    // emitter when asked.
    void writeScene(bool camera = true, bool emitter = false, const char* texture = "grey.tga") {
        WriteFile(dir + "/Textures/grey.tga", TgaRgb(1, 1, {200, 200, 200}));
        Scene s{};
        InitScene(s, "room", {0, -12, 14}, {0, 0, 0});
        if (!camera) SetCameraTracks(s, {}, {});
        int32_t m = AddMaterial(s);
        s.materials[m].receivelight = true;
        s.materials[m].ambient = {0.1f, 0.1f, 0.1f};
        s.materials[m].textured = true;
        s.materials[m].texturename = S(texture);
        s.materials[m].magtype = 1;
        AddFloor(s, m, -6, -6, 6, 6, 0);
        int32_t cube = AddCube(s, m, {0, 0, 2}, 1, true);
        s.objects[cube].castshadow = true;
        if (emitter) {
            int32_t e = AddTriangle(s, m, {0, 0, 5});
            SceneObject& o = s.objects[e];
            o.visible = false;
            o.particleenabled = true;
            o.power = 100, o.deltapower = 1, o.newparticle = 1, o.size = 0.5f;
            o.color = {1, 1, 1};
            o.particletexture = S("grey.tga");
        }
        FinishScene(s);
        s.lights[0].enabled = true;
        s.lights[0].pos = {0, 0, 10};
        s.lights[0].diffuse = {1, 1, 1};
        SaveScene(s, S(scene));
        ReleaseScene(s);
    }
    RunResult render(std::vector<std::string> args) {
        std::vector<std::string> argv = {ShowDir() + "/velmar", "scene", "render"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv);
    }
};

TEST_F(RenderTool, DrawsTheSceneIntoAPictureOfTheAskedSize) {
    writeScene();
    RunResult r = render({scene, "--at", "0", "--out", out, "--size", "160x120"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "{\"out\":\"" + out + "\",\"width\":160,\"height\":120,\"t\":0,\"shadow\":null,"
                     "\"shadowquads\":0,\"particles\":0}\n");
    Picture p = ReadPng(out);
    ASSERT_EQ(p.w, 160);
    ASSERT_EQ(p.h, 120);
    // The floor fills the lower middle, lit grey; the sky above is black.
    const uint8_t* floor = p.at(80, 20);
    EXPECT_GT(floor[0], 30);
    EXPECT_EQ(floor[0], floor[1]);
    const uint8_t* sky = p.at(2, 117);
    EXPECT_EQ(sky[0] + sky[1] + sky[2], 0);
    // Upright: the floor's near edge lies low in the picture, its far edge
    // well below the top (a picture upside down would swap these rows).
    const uint8_t* high = p.at(80, 99);
    EXPECT_EQ(high[0] + high[1] + high[2], 0);
    EXPECT_EQ(p.at(80, 2)[0], 0);  // below the floor's near edge
}

TEST_F(RenderTool, AShadowDarkensOnlyTheShadowedPixels) {
    writeScene();
    ASSERT_EQ(render({scene, "--at", "0", "--out", out, "--size", "200x150"}).code, 0);
    Picture plain = ReadPng(out);
    RunResult r = render({scene, "--at", "0", "--out", out, "--size", "200x150", "--shadow", "0"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"shadow\":0,\"shadowquads\":4,"), std::string::npos) << r.out;
    Picture shadowed = ReadPng(out);
    ASSERT_EQ(plain.rgb.size(), shadowed.rgb.size());
    int darker = 0, lighter = 0;
    for (size_t i = 0; i < plain.rgb.size(); ++i) {
        darker += shadowed.rgb[i] < plain.rgb[i];
        lighter += shadowed.rgb[i] > plain.rgb[i];
    }
    EXPECT_GT(darker, 300);
    EXPECT_EQ(lighter, 0);
    // Far from the cube nothing changes.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(memcmp(plain.at(x, y), shadowed.at(x, y), 3), 0) << x << "," << y;
}

TEST_F(RenderTool, ParticlesRunWhenTheSceneHasEmitters) {
    writeScene(true, true);
    RunResult r = render({scene, "--at", "0", "--out", out, "--size", "64x48"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"particles\":1}"), std::string::npos) << r.out;
    r = render({scene, "--at", "0", "--out", out, "--size", "64x48", "--particles", "25"});
    EXPECT_NE(r.out.find("\"particles\":25}"), std::string::npos) << r.out;
    r = render({scene, "--at", "0", "--out", out, "--size", "64x48", "--particles", "0"});
    EXPECT_NE(r.out.find("\"particles\":0}"), std::string::npos) << r.out;
}

TEST_F(RenderTool, BadInputIsOneLineAndExitTwoAndLeavesNoPicture) {
    writeScene(false);
    RunResult r = render({scene, "--at", "0", "--out", out});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, std::string("velmar scene: ") + NoCamera + "\n");
    EXPECT_FALSE(Exists(out));

    writeScene(true, false, "missing.tga");
    r = render({scene, "--at", "0", "--out", out, "--size", "32x24"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Error occoured ! Texture Loader Error."), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_FALSE(Exists(out));

    writeScene();
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const Case cases[] = {
        {{dir + "/3ddata/none.vlm", "--at", "0", "--out", out}, "cannot read"},
        {{scene, "--out", out}, "--at"},
        {{scene, "--at", "0"}, "--out"},
        {{scene, "--at", "x", "--out", out}, "--at wants a number"},
        {{scene, "--at", "0", "--out", out, "--size", "0x5"}, "--size"},
        {{scene, "--at", "0", "--out", out, "--size", "640"}, "--size"},
        {{scene, "--at", "0", "--out", out, "--size", "99999x2"}, "--size"},
        {{scene, "--at", "0", "--out", out, "--shadow", "8"}, "--shadow"},
        {{scene, "--at", "0", "--out", out, "--particles", "-1"}, "--particles"},
        {{scene, "--at", "0", "--out", out, "--frames", "2"}, "unknown option"},
        {{scene, scene, "--at", "0", "--out", out}, "one scene file"},
        {{scene, "--at", "0", "--out", dir + "/no/such/folder.png", "--size", "8x8"}, "cannot write"},
    };
    for (const Case& c : cases) {
        r = render(c.args);
        EXPECT_EQ(r.code, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_FALSE(Exists(out));
    // A malformed scene file: named, as the other scene commands name it.
    WriteFile(scene, std::string("F!\x03\x04\x02\0\0\0\x04\0\0\0\0\0\0\0\0\0\0\0abcd", 22));
    r = render({scene, "--at", "0", "--out", out});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "velmar scene: " + scene + ": Chunk size corruption !\n");
    EXPECT_FALSE(Exists(out));
}

TEST_F(RenderTool, TheSceneCommandKeepsItsOtherSubcommandsAndListsRender) {
    writeScene();
    RunResult r = RunProgram({ShowDir() + "/velmar", "scene", "info", scene});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"name\":\"room\""), std::string::npos);
    r = RunProgram({ShowDir() + "/velmar", "scene", "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("velmar scene render FILE"), std::string::npos);
    r = RunProgram({ShowDir() + "/velmar", "scene", "render", "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("--shadow LIGHT"), std::string::npos);
}

}  // namespace
