// Texture recipes: reading, painting, the file formats and velmar texture make, read back by the texture loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "support/support.h"
#include "tools/texgen/texgen.h"

namespace {

const std::string BoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
using Floats = std::vector<float>;
using namespace std::string_literals;

struct Painted {
    TexRecipe recipe{};
    TexError err{};
    Floats px;
    bool ok;
    explicit Painted(const std::string& text, const std::string& folder = ".") {
        ok = tgParse(recipe, text.data(), text.size(), err);
        px.resize(ok ? (size_t)recipe.width * recipe.height * 4 : 0);
        ok = ok && tgPaint(recipe, px.data(), folder, err);
    }
    float at(int x, int y, int c = 0) const {
        return ((size_t)y * recipe.width + x) * 4 + c < px.size() ? px[((size_t)y * recipe.width + x) * 4 + c] : NAN;
    }
};

// Guards the recipe reader's refusals: every fault names its line.
TEST(TexRecipe, StatementsAreReadFaultsNameTheirLineAndLayersPaintAndBlend) {
    Painted p("# a comment\n\nsize 32 16\nformat dxt5\nseed 9\nblend add\nopacity 0.5\nnoise #102030 #ffffffff 4\ndot #ff000080 0.5\n"
              "text #ffffff 12 f.ttf \"Hi there\"\n"),
        bare("fill #000000\n");
    const TexRecipe& r = p.recipe;
    ASSERT_EQ(r.opcount, 3) << p.err.text;
    // 256 x 256 when left out; octaves and softness left out: 4 and 1; each layer its own seed.
    EXPECT_EQ((Floats{(float)r.width, (float)r.height, (float)r.format, (float)r.ops[0].kind, (float)r.ops[0].line, (float)r.ops[0].blend,
                      r.ops[0].opacity, r.ops[0].color[0].g, r.ops[0].color[0].a, r.ops[0].number[0], r.ops[0].number[1], r.ops[1].color[0].a,
                      r.ops[1].number[1], (float)bare.recipe.width, (float)bare.recipe.height}),
              (Floats{32, 16, TGF_dxt5, TG_noise, 8, TGB_add, 0.5f, 0x20 / 255.0f, 1, 4, 4, 128 / 255.0f, 1, 256, 256}));
    EXPECT_TRUE(r.ops[2].text == S("Hi there") && r.ops[2].word == S("f.ttf") && r.ops[0].seed != r.ops[1].seed);
    std::string many;
    for (int i = 0; i <= TexMaxOps; ++i) many += "fill #000000\n";
    for (auto& [text, line, says] : std::vector<std::tuple<std::string, int, const char*>>{
             {"fill #fff\n", 1, "colour"}, {"fill #0000zz\n", 1, "colour"}, {"size 16 16\n\nsprinkle #ffffff\n", 3, "unknown statement"},
             {"size 16 5000\n", 1, "size"}, {"size 16 16\nsize 8 8\n", 2, "twice"}, {"fill #000000\nsize 8 8\n", 2, "before the first layer"},
             {"checkers #000000 #ffffff 2.5\n", 1, "whole number"}, {"checkers #000000 #ffffff 0\n", 1, "from 1"},
             {"dot #ffffff 1.5\n", 1, "from 0 to 1"}, {"fill #000000 #ffffff\n", 1, "wants 1 to 1 values"},
             {"gradient #000000\n", 1, "wants 2 to 3 values"}, {"noise #000000 #ffffff nan\n", 1, "whole number"},
             {"text #ffffff 12 f.ttf \"open\n", 1, "not closed"}, {"text #ffffff 12 f.ttf plain\n", 1, "quoted text"},
             {"\"fill\" #000000\n", 1, "starts with a word"}, {"blend sideways\n", 1, "blend wants"}, {"opacity 2\n", 1, "opacity"},
             {"format gif\n", 1, "format wants"}, {"seed -1\n", 1, "seed"}, {std::string("fill #000000\nfi\0ll\n", 18), 2, "zero byte"},
             {many, TexMaxOps + 1, ""}, {std::string(2000, 'x'), 1, ""}}) {
        Painted f(text);
        EXPECT_TRUE(!f.ok && f.err.line == line && std::string(f.err.text).find(says) != std::string::npos) << text << " -> " << f.err.text;
    }
    Painted layers("size 8 8\nfill #804020\nblend add\nfill #101010\nblend multiply\nfill #80808080\n"), c("size 8 4\ncheckers #000000 #ffffff 4\n");
    Painted half("size 4 4\nfill #ff000080\n"), d("size 64 64\nblend replace\nfill #00000000\nblend mix\ndot #ffffff 1 0.8\n");
    Painted n1("seed 3\nnoise #000000 #ffffff 4 3\n"), n2("seed 3\nnoise #000000 #ffffff 4 3\n"), n3("seed 4\nnoise #000000 #ffffff 4 3\n");
    Painted bad("text #ffffff 40 nowhere.ttf \"x\"\n", "/nonexistent");
    // (0x80 + 0x10) = 0x90, then halfway to itself times 0x80/255; half a colour mixed onto the opaque canvas
    // leaves it opaque; checkers alternate both ways; a soft dot on clear ground fades, round, to clear edges.
    float sum = 0x90 / 255.0f, k = 128 / 255.0f;
    EXPECT_NEAR(layers.at(3, 3), sum + (sum * k - sum) * k, 1e-5);
    EXPECT_EQ((Floats{layers.at(3, 3, 3), half.at(1, 1, 3), c.at(0, 0), c.at(2, 0), c.at(2, 1), c.at(7, 3)}), (Floats{1, 1, 0, 1, 0, 0}));
    EXPECT_TRUE(d.at(0, 0, 3) == 0 && d.at(32, 32, 3) > 0.99f && d.at(32, 32, 3) > d.at(40, 32, 3) && d.at(40, 32, 3) > d.at(52, 32, 3));
    EXPECT_NEAR(d.at(20, 32, 3), d.at(43, 32, 3), 0.02f);
    // The same seed gives the same noise, another seed another; a font is looked for in the recipe's folder.
    EXPECT_TRUE(n1.ok && n1.px == n2.px && n1.px != n3.px);
    EXPECT_TRUE(!bad.ok && bad.err.line == 1 && std::string(bad.err.text).find("/nonexistent/nowhere.ttf") != std::string::npos) << bad.err.text;
}

TEST(TexEncode, FormatsFollowTheNameAndTgaPngAndDdsKeepTheImage) {
    auto pick = [](const char* name, bool alpha) { return tgChooseFormat(TGF_auto, name, alpha); };
    EXPECT_EQ((std::vector<int>{pick("a.tga", false), pick("dir.x/a.TGA", true), pick("a.png", true), pick("a.dds", false), pick("a.dds", true),
                                pick("a.gif", true), pick("dir.dds/a", true), tgChooseFormat(TGF_png24, "a.dds", true)}),
              (std::vector<int>{TGF_tga24, TGF_tga32, TGF_png32, TGF_dxt1, TGF_dxt5, TGF_auto, TGF_auto, TGF_png24}));
    // Every pixel, top row first, in its colours (red is not blue), rounded to the nearest byte.
    Painted p("size 37 19\nnoise #000000 #ffffff 4\ndot #ff402080 0.7\n");
    for (int32_t format : {TGF_tga24, TGF_tga32, TGF_png24, TGF_png32}) {
        std::string file = tgEncode(p.px.data(), 37, 19, format);
        int w = 0, h = 0, c = 0, want = format == TGF_tga32 || format == TGF_png32 ? 4 : 3, wrong = 0;
        uint8_t* img = stbi_load_from_memory((const uint8_t*)file.data(), (int)file.size(), &w, &h, &c, want);
        for (int i = 0; img && i < 37 * 19 * want && w * h == 37 * 19; ++i)
            wrong += img[i] != (uint8_t)std::lround(std::clamp(p.px[i / want * 4 + i % want], 0.0f, 1.0f) * 255);
        EXPECT_EQ((std::vector<int>{img != nullptr, c, w, h, wrong}), (std::vector<int>{1, want, 37, 19, 0})) << tgFormatName(format);
        stbi_image_free(img);
    }
    // DDS: every level down to 1 x 1, 8 (DXT1) or 16 (DXT5) bytes a 4 x 4 block, the top level's size in the header.
    Painted solid("size 64 16\nfill #ff8000\n"), big("size 4096 4\nfill #000000\n");
    int32_t levels = 0, bigLevels = 0;
    std::string dxt1 = tgEncode(solid.px.data(), 64, 16, TGF_dxt1, &levels), dxt5 = tgEncode(solid.px.data(), 64, 16, TGF_dxt5);
    tgEncode(big.px.data(), 4096, 4, TGF_dxt1, &bigLevels);
    size_t blocks = 16 * 4 + 8 * 2 + 4 + 2 + 1 + 1 + 1, top[2] = {};
    memcpy(&top[0], &dxt1[20], 4), memcpy(&top[1], &dxt5[20], 4);
    EXPECT_EQ((std::vector<size_t>{(size_t)levels, dxt1.size(), dxt5.size(), (size_t)bigLevels, top[0], top[1], dxt1.substr(84, 4) == "DXT1"}),
              (std::vector<size_t>{7, 128 + blocks * 8, 128 + blocks * 16, 13, 64 * 8, 64 * 16, 1}));
}

TEST(TextureTool, WritesFilesTheTextureLoaderReadsAndRefusesBadInputWithOneLine) {
    std::string dir = MakeTempDir("texgen"), velmar = ShowDir() + "/velmar";
    auto at = [&](const std::string& name) { return dir + "/" + name; };
    WriteFile(at("solid.txt"), "size 64 32\nplasma #203040 #c0d0e0 3\ntext #ffffff 20 " + BoldFont + " \"Velmar\"\n");
    WriteFile(at("dot.txt"), "size 32 32\nblend replace\nfill #00000000\nblend mix\ndot #ffffff 1 1\n");
    WriteFile(at("junkfont.txt"), "text #ffffff 12 dot.txt \"x\"\n");
    // What velmar image reads back (kind, GL format, size, bits, levels); the same recipe gives the same bytes.
    std::tuple<const char*, const char*, const char*, const char*> made[] = {
        {"solid.txt", "a.tga", "tga24", "1,\"format\":0,\"width\":64,\"height\":32,\"bpp\":24,\"levels\":1"},
        {"solid.txt", "e.dds", "dxt1", "5,\"format\":33776,\"width\":64,\"height\":32,\"bpp\":24,\"levels\":7"}};
    for (auto [recipe, out, format, shown] : made) {
        RunResult r = RunProgram({velmar, "texture", "make", at(recipe), at(out)}), img = RunProgram({velmar, "image", at(out), "--dxt"});
        EXPECT_NE(r.out.find("\"format\":\""s + format + "\""), std::string::npos) << r.out << r.err;
        EXPECT_EQ(img.out, "{\"kind\":"s + shown + "}\n") << img.err;
    }
    RunProgram({velmar, "texture", "make", at("solid.txt"), at("f.dds")});
    EXPECT_TRUE(ReadFileText(at("e.dds")) == ReadFileText(at("f.dds")));
    for (auto [args, says] : {std::pair{std::vector<std::string>{"make", at("none.txt"), at("x.tga")}, "cannot read"s},
                              {{"make", at("junkfont.txt"), at("x.tga")}, at("junkfont.txt:1: text:")},
                              {{"make", at("dot.txt"), at("x.gif")}, "name it .tga, .png or .dds"}, {{"make", at("dot.txt")}, "make wants"},
                              {{"paint", at("dot.txt"), at("x.tga")}, "wants: make"}, {{"make", at("dot.txt"), at("no/x.tga")}, "cannot write"}}) {
        args.insert(args.begin(), {velmar, "texture"});
        RunResult r = RunProgram(args);
        EXPECT_EQ((std::vector<long>{r.code, std::count(r.err.begin(), r.err.end(), '\n'), r.err.find(says) != std::string::npos}),
                  (std::vector<long>{2, 1, 1})) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(at("x.tga")));
    RemoveTree(dir);
}

}  // namespace
