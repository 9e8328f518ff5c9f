// velmar image: what the real module returns, as JSON.
#include <gtest/gtest.h>

#include "images.h"
#include "support/support.h"

namespace {

RunResult Velmar(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ShowDir() + "/velmar", "image"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

struct VelmarImage : ::testing::Test {
    std::string dir = MakeTempDir("velmar-image");
    void TearDown() override { RemoveTree(dir); }
};

TEST_F(VelmarImage, PrintsTheRecordOfEachKind) {
    WriteFile(dir + "/grey.tga", fx::Tga(5, 3, 8, fx::Pattern(5, 3)));
    RunResult r = Velmar({dir + "/grey.tga"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "{\"kind\":1,\"format\":0,\"width\":5,\"height\":3,\"bpp\":24,\"levels\":1}\n");

    std::string data;
    for (int i = 0; i < 3; ++i) data += std::string(16, '\x11');  // 4x4 (1 block), 2x2, 1x1
    WriteFile(dir + "/a.dds", fx::Dds("DXT5", 4, 4, 3, data));
    r = Velmar({dir + "/a.dds"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "{\"kind\":1,\"format\":1,\"width\":4,\"height\":4,\"bpp\":32,\"levels\":3}\n");
    r = Velmar({dir + "/a.dds", "--dxt"});
    EXPECT_EQ(r.out, "{\"kind\":5,\"format\":33779,\"width\":4,\"height\":4,\"bpp\":32,\"levels\":3}\n");
    r = Velmar({"--reduce", "1", dir + "/a.dds", "--dxt"});
    EXPECT_EQ(r.out, "{\"kind\":5,\"format\":33779,\"width\":2,\"height\":2,\"bpp\":32,\"levels\":2}\n");
}

TEST_F(VelmarImage, SavesWhatItLoaded) {
    WriteFile(dir + "/in.tga", fx::Tga(4, 2, 32, fx::Pattern(4, 2), false, true));
    RunResult r = Velmar({dir + "/in.tga", "--save", dir + "/out.png"});
    EXPECT_EQ(r.code, 0) << r.err;
    r = Velmar({dir + "/out.png"});
    EXPECT_EQ(r.out, "{\"kind\":1,\"format\":1,\"width\":4,\"height\":2,\"bpp\":32,\"levels\":1}\n");
    r = Velmar({dir + "/in.tga", "--save", dir + "/out.dds"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("cannot save"), std::string::npos) << r.err;
}

TEST_F(VelmarImage, BadInputIsOneLineAndExitCodeTwo) {
    std::string tga = fx::Tga(4, 4, 24, fx::Pattern(4, 4));
    WriteFile(dir + "/cut.tga", tga.substr(0, tga.size() - 1));
    RunResult r = Velmar({dir + "/cut.tga"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "velmar image: cannot load " + dir + "/cut.tga: the file ends before its image data\n");

    r = Velmar({dir + "/missing.png"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("cannot open the file"), std::string::npos) << r.err;
    EXPECT_EQ(Velmar({}).code, 2);
    EXPECT_EQ(Velmar({dir + "/cut.tga", "--reduce", "x"}).code, 2);
    EXPECT_EQ(Velmar({dir + "/cut.tga", "--bogus"}).code, 2);

    // Without the module: the loader's own message.
    std::vector<std::string> argv = {ShowDir() + "/velmar", "image", dir + "/cut.tga"};
    r = RunProgram(argv, {"VELMAR_MODULE_TL=" + dir + "/none.so"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Ember textura loader not found. Please reinstall this software."), std::string::npos)
        << r.err;
}

}  // namespace
