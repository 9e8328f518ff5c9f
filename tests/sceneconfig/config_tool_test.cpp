// velmar scene config-write and config-apply, run as an author runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "scene/scenefile.h"
#include "support/glwindow.h"
#include "support/support.h"
#include "tools/scenebuild/scenebuild.h"

namespace {

std::string Velmar() { return ShowDir() + "/velmar"; }

struct ConfigTool : ::testing::Test {
    std::string dir;
    void SetUp() override {
        dir = MakeTempDir("cfgtool");
        mkdir((dir + "/3ddata").c_str(), 0755);
        mkdir((dir + "/Textures").c_str(), 0755);
        WriteFile(dir + "/Textures/rgb.tga", SolidTga(4, 4, 10, 20, 30));
        std::vector<uint8_t> rgba(4 * 4 * 4, 200);
        WriteFile(dir + "/Textures/alpha.tga", TgaImage(4, 4, 32, rgba));
        Scene s;
        sbBegin(s, "cfg");
        int32_t a = sbMaterial(s, "plain", "rgb.tga");
        int32_t b = sbMaterial(s, "cutout", "alpha.tga");
        sbObject(s, "left", a, meshBox({1, 1, 1}));
        sbObject(s, "right", b, meshBox({1, 1, 1}));
        sbCamera(s, {{0, {5, 5, 5}}}, {{0, {0, 0, 0}}});
        sbFinish(s);
        WriteFile(dir + "/3ddata/cfg.vlm", SaveSceneData(s));
        ReleaseScene(s);
    }
    void TearDown() override { RemoveTree(dir); }
};

TEST_F(ConfigTool, ProposalsFollowTheTexturesRealDepth) {
    RunResult r = RunProgram({Velmar(), "scene", "config-write", dir + "/3ddata/cfg.vlm", dir + "/out.cfg"},
                             {"DISPLAY=", "WAYLAND_DISPLAY="});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string cfg = ReadFileText(dir + "/out.cfg");
    EXPECT_EQ(cfg.rfind("# Velmar config file\r\n", 0), 0u);
    EXPECT_NE(cfg.find("material(plain).blend=0\r\n"), std::string::npos);
    EXPECT_NE(cfg.find("material(cutout).blend=2\r\n"), std::string::npos);
    EXPECT_NE(cfg.find("object(right).passno=2\r\n#alpha channel texture :alpha.tga\r\n"), std::string::npos);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(cfg.find("# note:"), std::string::npos);
}

// Guards a silent guess: without textures the 32-bit one's material was
// proposed blend 0, as if opaque.
TEST_F(ConfigTool, WithoutTheTextureFolderTheProposalsAreSaidToBeGuesses) {
    RemoveTree(dir + "/Textures");
    RunResult r = RunProgram({Velmar(), "scene", "config-write", dir + "/3ddata/cfg.vlm", dir + "/out.cfg"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string note = "no texture folder " + dir + "/Textures" +
                       ": the blend and pass proposals follow the depths the scene file holds, not the textures'";
    EXPECT_EQ(r.err, "velmar scene config-write: " + note + "\n");
    EXPECT_NE(ReadFileText(dir + "/out.cfg").find("\r\n# \r\n# note: " + note + "\r\nmaterial(plain)."),
              std::string::npos);
}

TEST_F(ConfigTool, AnEditedFileAppliedBackIsSaved) {
    WriteFile(dir + "/edit.cfg", "camerafov=1.2500\nobject(left).passno=3\nmaterial(plain).diffuse=0.5,0.25,1\n");
    RunResult r = RunProgram(
        {Velmar(), "scene", "config-apply", dir + "/3ddata/cfg.vlm", dir + "/edit.cfg", dir + "/out.vlm"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::string bytes = ReadFileText(dir + "/out.vlm");
    Scene s{};
    ThrowOnFailure guard;
    LoadSceneData(s, S("out.vlm"), (const uint8_t*)bytes.data(), bytes.size());
    EXPECT_FLOAT_EQ(s.camerafov, 1.25f);
    EXPECT_EQ(s.maxpassno, 3);
    EXPECT_EQ(s.objects[0].passno, 3);
    EXPECT_FLOAT_EQ(s.materials[0].diffuse.y, 0.25f);
    ReleaseScene(s);
}

TEST_F(ConfigTool, BadInputGetsOneLineAndExit2) {
    for (auto args : std::vector<std::vector<std::string>>{
             {"scene", "config-write", dir + "/3ddata/none.vlm", dir + "/o.cfg"},
             {"scene", "config-write", dir + "/3ddata/cfg.vlm"},
             {"scene", "config-write", dir + "/3ddata/cfg.vlm", dir + "/o.cfg", "--textures", dir + "/nowhere"},
             {"scene", "config-apply", dir + "/3ddata/cfg.vlm", dir + "/none.cfg", dir + "/o.vlm"},
         }) {
        args.insert(args.begin(), Velmar());
        RunResult r = RunProgram(args);
        EXPECT_EQ(r.code, 2) << args[3];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_NE(access((dir + "/o.vlm").c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/o.cfg").c_str(), F_OK), 0);
}

}  // namespace
