// Texture recipes: reading, painting, the file formats and velmar texture make,
// with everything written read back by the texture loader.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "support/support.h"
#include "tools/texgen/texgen.h"

namespace {

const std::string BoldFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

std::string Velmar() { return ShowDir() + "/velmar"; }

struct Painted {
    TexRecipe recipe{};
    TexError err{};
    std::vector<float> px;
    bool ok = false;
    explicit Painted(const std::string& text, const std::string& folder = ".") {
        ok = tgParse(recipe, text.data(), text.size(), err);
        if (!ok) return;
        px.resize((size_t)recipe.width * recipe.height * 4);
        ok = tgPaint(recipe, px.data(), folder, err);
    }
    const float* at(int x, int y) const { return &px[((size_t)y * recipe.width + x) * 4]; }
};

TexError ParseError(const std::string& text) {
    TexRecipe* r = new TexRecipe{};
    TexError err{};
    EXPECT_FALSE(tgParse(*r, text.data(), text.size(), err)) << text;
    delete r;
    return err;
}

TEST(TexRecipe, StatementsAreReadWithTheirDefaults) {
    std::string text = "# a comment\n\nsize 32 16\nformat dxt5\nseed 9\nblend add\nopacity 0.5\n"
                       "noise #102030 #ffffffff 4\ndot #ff000080 0.5\ntext #ffffff 12 f.ttf \"Hi there\"\n";
    static TexRecipe r;
    TexError err{};
    ASSERT_TRUE(tgParse(r, text.data(), text.size(), err)) << err.text;
    EXPECT_EQ(r.width, 32);
    EXPECT_EQ(r.height, 16);
    EXPECT_EQ(r.format, TGF_dxt5);
    ASSERT_EQ(r.opcount, 3);
    EXPECT_EQ(r.ops[0].kind, TG_noise);
    EXPECT_EQ(r.ops[0].line, 8);
    EXPECT_EQ(r.ops[0].blend, TGB_add);
    EXPECT_FLOAT_EQ(r.ops[0].opacity, 0.5f);
    EXPECT_FLOAT_EQ(r.ops[0].color[0].g, 0x20 / 255.0f);
    EXPECT_FLOAT_EQ(r.ops[0].color[0].a, 1);
    EXPECT_FLOAT_EQ(r.ops[0].number[0], 4);
    EXPECT_FLOAT_EQ(r.ops[0].number[1], 4);  // octaves left out
    EXPECT_FLOAT_EQ(r.ops[1].color[0].a, 128 / 255.0f);
    EXPECT_FLOAT_EQ(r.ops[1].number[1], 1);  // softness left out
    EXPECT_TRUE(r.ops[2].text == S("Hi there"));
    EXPECT_TRUE(r.ops[2].word == S("f.ttf"));
}

TEST(TexRecipe, FaultsNameTheirLine) {
    struct Case {
        std::string text;
        int line;
        const char* says;
    } cases[] = {
        {"fill #fff\n", 1, "colour"},
        {"size 16 16\n\nsprinkle #ffffff\n", 3, "unknown statement"},
        {"size 0 16\n", 1, "size"},
        {"size 16 5000\n", 1, "size"},
        {"size 16 16\nsize 8 8\n", 2, "twice"},
        {"fill #000000\nsize 8 8\n", 2, "before the first layer"},
        {"checkers #000000 #ffffff 2.5\n", 1, "whole number"},
        {"checkers #000000 #ffffff 0\n", 1, "from 1"},
        {"dot #ffffff 1.5\n", 1, "from 0 to 1"},
        {"fill #000000 #ffffff\n", 1, "wants 1 to 1 values"},
        {"gradient #000000\n", 1, "wants 2 to 3 values"},
        {"noise #000000 #ffffff nan\n", 1, "whole number"},
        {"text #ffffff 12 f.ttf \"open\n", 1, "not closed"},
        {"text #ffffff 12 f.ttf plain\n", 1, "quoted text"},
        {"\"fill\" #000000\n", 1, "starts with a word"},
        {"blend sideways\n", 1, "blend wants"},
        {"opacity 2\n", 1, "opacity"},
        {"format gif\n", 1, "format wants"},
        {"seed -1\n", 1, "seed"},
        {"fill #0000zz\n", 1, "colour"},
        {std::string("fill #000000\nfi\0ll\n", 18), 2, "zero byte"},
    };
    for (const Case& c : cases) {
        TexError e = ParseError(c.text);
        EXPECT_EQ(e.line, c.line) << c.text;
        EXPECT_NE(std::string(e.text).find(c.says), std::string::npos) << c.text << " -> " << e.text;
    }
    std::string many;
    for (int i = 0; i <= TexMaxOps; ++i) many += "fill #000000\n";
    EXPECT_EQ(ParseError(many).line, TexMaxOps + 1);
    EXPECT_EQ(ParseError(std::string(2000, 'x')).line, 1);
}

TEST(TexPaint, LayersBlendAsDocumented) {
    Painted p("size 8 8\nfill #804020\nblend add\nfill #101010\nblend multiply\nfill #80808080\n");
    ASSERT_TRUE(p.ok) << p.err.text;
    // (0x80 + 0x10) = 0x90, then halfway to itself times 0x80/255.
    float r = 0x90 / 255.0f, k = 128 / 255.0f, m = 128 / 255.0f;
    EXPECT_NEAR(p.at(3, 3)[0], r + (r * m - r) * k, 1e-5);
    EXPECT_FLOAT_EQ(p.at(3, 3)[3], 1);
    Painted c("size 8 4\ncheckers #000000 #ffffff 4\n");
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.at(0, 0)[0], 0);
    EXPECT_EQ(c.at(2, 0)[0], 1);
    EXPECT_EQ(c.at(2, 1)[0], 0);
    EXPECT_EQ(c.at(7, 3)[0], 0);
    Painted g("size 16 4\ngradient #000000 #ffffff\n");
    EXPECT_LT(g.at(0, 0)[0], 0.05f);
    EXPECT_GT(g.at(15, 0)[0], 0.95f);
    EXPECT_LT(g.at(7, 0)[0], g.at(8, 0)[0]);
    Painted down("size 4 16\ngradient #000000 #ffffff 90\n");
    EXPECT_LT(down.at(0, 0)[0], 0.05f);
    EXPECT_GT(down.at(0, 15)[0], 0.95f);
}

TEST(TexPaint, ASoftDotOnClearGroundFadesToTransparentEdges) {
    Painted p("size 64 64\nblend replace\nfill #00000000\nblend mix\ndot #ffffff 1 0.8\n");
    ASSERT_TRUE(p.ok);
    EXPECT_FLOAT_EQ(p.at(0, 0)[3], 0);
    EXPECT_GT(p.at(32, 32)[3], 0.99f);
    EXPECT_GT(p.at(32, 32)[3], p.at(40, 32)[3]);
    EXPECT_GT(p.at(40, 32)[3], p.at(52, 32)[3]);
    EXPECT_NEAR(p.at(20, 32)[3], p.at(43, 32)[3], 0.02f);  // round
    EXPECT_FLOAT_EQ(p.at(63, 63)[3], 0);
}

TEST(TexPaint, NoiseAndPlasmaTileAndFollowTheSeed) {
    auto edgeJump = [](const Painted& p) {
        // Largest step across the wrap seam against the largest step inside.
        float seam = 0, inside = 0;
        for (int y = 0; y < p.recipe.height; ++y) {
            seam = std::max(seam, std::fabs(p.at(0, y)[0] - p.at(p.recipe.width - 1, y)[0]));
            for (int x = 1; x < p.recipe.width; ++x) inside = std::max(inside, std::fabs(p.at(x, y)[0] - p.at(x - 1, y)[0]));
        }
        return seam <= inside * 1.01f;
    };
    Painted n1("size 64 64\nseed 3\nnoise #000000 #ffffff 4 3\n");
    Painted n2("size 64 64\nseed 3\nnoise #000000 #ffffff 4 3\n");
    Painted n3("size 64 64\nseed 4\nnoise #000000 #ffffff 4 3\n");
    ASSERT_TRUE(n1.ok && n2.ok && n3.ok);
    EXPECT_TRUE(n1.px == n2.px);
    EXPECT_FALSE(n1.px == n3.px);
    EXPECT_TRUE(edgeJump(n1));
    float lo = 1, hi = 0;
    for (size_t i = 0; i < n1.px.size(); i += 4) lo = std::min(lo, n1.px[i]), hi = std::max(hi, n1.px[i]);
    EXPECT_GT(hi - lo, 0.4f);
    Painted pl("size 64 64\nplasma #000000 #ffffff 2\n");
    EXPECT_TRUE(edgeJump(pl));
}

TEST(TexPaint, StarsSpheremapFrameAndText) {
    Painted s("size 128 128\nstars #ffffff 50 1\n");
    ASSERT_TRUE(s.ok);
    int lit = 0;
    for (size_t i = 0; i < s.px.size(); i += 4) lit += s.px[i] > 0.05f;
    EXPECT_GT(lit, 50);
    EXPECT_LT(lit, 128 * 128 / 4);
    Painted m("size 64 64\nspheremap #0000ff #00ff00 #ffffff\n");
    ASSERT_TRUE(m.ok);
    EXPECT_GT(m.at(32, 4)[2], m.at(32, 4)[1]);   // top of the ball reflects the sky
    EXPECT_GT(m.at(32, 60)[1], m.at(32, 60)[2]);  // the bottom the ground
    EXPECT_EQ(m.at(0, 0)[1], 1);                  // outside the ball: ground
    Painted f("size 16 16\nframe #ff0000 2\n");
    EXPECT_EQ(f.at(1, 8)[0], 1);
    EXPECT_EQ(f.at(14, 8)[0], 1);
    EXPECT_EQ(f.at(2, 8)[0], 0);
    Painted t("size 128 64\ntext #ffffff 40 " + BoldFont + " \"IIII\"\n");
    ASSERT_TRUE(t.ok) << t.err.text;
    int inkLeft = 0, inkMiddle = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) (x < 24 ? inkLeft : inkMiddle) += t.at(x, y)[0] > 0.5f;
    EXPECT_EQ(inkLeft, 0);  // centred
    EXPECT_GT(inkMiddle, 300);
    Painted bad("text #ffffff 40 nowhere.ttf \"x\"\n", "/nonexistent");
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.err.line, 1);
    EXPECT_NE(std::string(bad.err.text).find("/nonexistent/nowhere.ttf"), std::string::npos) << bad.err.text;
}

TEST(TexEncode, FormatsFollowTheNameAndTheAlpha) {
    EXPECT_EQ(tgChooseFormat(TGF_auto, "a.tga", false), TGF_tga24);
    EXPECT_EQ(tgChooseFormat(TGF_auto, "dir.x/a.TGA", true), TGF_tga32);
    EXPECT_EQ(tgChooseFormat(TGF_auto, "a.png", true), TGF_png32);
    EXPECT_EQ(tgChooseFormat(TGF_auto, "a.dds", false), TGF_dxt1);
    EXPECT_EQ(tgChooseFormat(TGF_auto, "a.dds", true), TGF_dxt5);
    EXPECT_EQ(tgChooseFormat(TGF_auto, "a.gif", true), TGF_auto);
    EXPECT_EQ(tgChooseFormat(TGF_auto, "dir.dds/a", true), TGF_auto);
    EXPECT_EQ(tgChooseFormat(TGF_png24, "a.dds", true), TGF_png24);
}

TEST(TexEncode, TgaAndPngKeepEveryPixel) {
    Painted p("size 37 19\nnoise #000000 #ffffff 4\ndot #ff00ff80 0.7\n");
    ASSERT_TRUE(p.ok);
    for (int32_t format : {TGF_tga24, TGF_tga32, TGF_png24, TGF_png32}) {
        std::string file = tgEncode(p.px.data(), 37, 19, format);
        int w = 0, h = 0, c = 0;
        int want = format == TGF_tga32 || format == TGF_png32 ? 4 : 3;
        uint8_t* img = stbi_load_from_memory((const uint8_t*)file.data(), (int)file.size(), &w, &h, &c, want);
        ASSERT_NE(img, nullptr) << tgFormatName(format);
        EXPECT_EQ(c, want);
        ASSERT_EQ(w, 37);
        ASSERT_EQ(h, 19);
        int wrong = 0;
        for (int i = 0; i < 37 * 19; ++i)
            for (int k = 0; k < want; ++k)
                wrong += img[i * want + k] != (uint8_t)std::lround(std::clamp(p.px[(size_t)i * 4 + k], 0.0f, 1.0f) * 255);
        EXPECT_EQ(wrong, 0) << tgFormatName(format);
        stbi_image_free(img);
    }
}

TEST(TexEncode, DdsHoldsEveryLevelDownToOne) {
    Painted p("size 64 16\nfill #ff8000\n");
    int32_t levels = 0;
    std::string dds = tgEncode(p.px.data(), 64, 16, TGF_dxt1, &levels);
    EXPECT_EQ(levels, 7);  // 64 32 16 8 4 2 1
    // DXT1: 8 bytes per 4 x 4 block, a partial block counts whole.
    size_t blocks = 16 * 4 + 8 * 2 + 4 + 2 + 1 + 1 + 1;
    EXPECT_EQ(dds.size(), 128 + blocks * 8);
    EXPECT_EQ(dds.substr(84, 4), "DXT1");
    std::string dxt5 = tgEncode(p.px.data(), 64, 16, TGF_dxt5, &levels);
    EXPECT_EQ(dxt5.size(), 128 + blocks * 16);
    Painted big("size 4096 4\nfill #000000\n");
    tgEncode(big.px.data(), 4096, 4, TGF_dxt1, &levels);
    EXPECT_EQ(levels, 13);
}

struct ToolDir {
    std::string dir = MakeTempDir("texgen");
    ~ToolDir() { RemoveTree(dir); }
    std::string operator/(const std::string& n) const { return dir + "/" + n; }
};

TEST(TextureTool, EveryFormatWrittenIsReadByTheTextureLoader) {
    ToolDir t;
    WriteFile(t / "solid.txt", "size 64 32\nplasma #203040 #c0d0e0 3\ntext #ffffff 20 " + BoldFont + " \"Velmar\"\n");
    WriteFile(t / "dot.txt", "size 32 32\nblend replace\nfill #00000000\nblend mix\ndot #ffffff 1 1\n");
    struct Case {
        std::string recipe, out, json, image;
    } cases[] = {
        {"solid.txt", "a.tga", "\"format\":\"tga24\"", "{\"kind\":1,\"format\":0,\"width\":64,\"height\":32,\"bpp\":24,\"levels\":1}"},
        {"dot.txt", "b.tga", "\"format\":\"tga32\"", "{\"kind\":1,\"format\":1,\"width\":32,\"height\":32,\"bpp\":32,\"levels\":1}"},
        {"solid.txt", "c.png", "\"format\":\"png24\"", "{\"kind\":1,\"format\":0,\"width\":64,\"height\":32,\"bpp\":24,\"levels\":1}"},
        {"dot.txt", "d.png", "\"format\":\"png32\"", "{\"kind\":1,\"format\":1,\"width\":32,\"height\":32,\"bpp\":32,\"levels\":1}"},
        {"solid.txt", "e.dds", "\"format\":\"dxt1\"", "{\"kind\":5,\"format\":33776,\"width\":64,\"height\":32,\"bpp\":24,\"levels\":7}"},
        {"dot.txt", "f.dds", "\"format\":\"dxt5\"", "{\"kind\":5,\"format\":33779,\"width\":32,\"height\":32,\"bpp\":32,\"levels\":6}"},
    };
    for (const Case& c : cases) {
        RunResult r = RunProgram({Velmar(), "texture", "make", t / c.recipe, t / c.out});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(c.json), std::string::npos) << r.out;
        RunResult img = RunProgram({Velmar(), "image", t / c.out, "--dxt"});
        ASSERT_EQ(img.code, 0) << c.out << ": " << img.err;
        EXPECT_EQ(img.out, c.image + "\n") << c.out;
    }
    // The same recipe, the same bytes.
    ASSERT_EQ(RunProgram({Velmar(), "texture", "make", t / "solid.txt", t / "again.dds"}).code, 0);
    EXPECT_TRUE(ReadFileText(t / "e.dds") == ReadFileText(t / "again.dds"));
}

TEST(TextureTool, BadInputGetsOneLineAndNoFile) {
    ToolDir t;
    WriteFile(t / "bad.txt", "size 16 16\nfill #00000\n");
    WriteFile(t / "good.txt", "size 16 16\nfill #000000\n");
    WriteFile(t / "font.txt", "text #ffffff 12 missing.ttf \"x\"\n");
    WriteFile(t / "junkfont.txt", "text #ffffff 12 good.txt \"x\"\n");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"make", t / "none.txt", t / "x.tga"}, "cannot read"},
        {{"make", t / "bad.txt", t / "x.tga"}, t / "bad.txt:2: value 1 of fill is not a colour"},
        {{"make", t / "font.txt", t / "x.tga"}, t / "font.txt:1: text: cannot read font " + t / "missing.ttf"},
        {{"make", t / "junkfont.txt", t / "x.tga"}, "junkfont.txt:1: text:"},
        {{"make", t / "good.txt", t / "x.gif"}, "name it .tga, .png or .dds"},
        {{"make", t / "good.txt"}, "make wants"},
        {{"paint", t / "good.txt", t / "x.tga"}, "wants: make"},
        {{"make", t / "good.txt", t / "x.tga", "--fast"}, "unknown option"},
        {{"make", t / "good.txt", t / "no/x.tga"}, "cannot write"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {Velmar(), "texture"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult r = RunProgram(args);
        EXPECT_EQ(r.code, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        struct stat st;
        EXPECT_NE(stat((t / "x.tga").c_str(), &st), 0);
    }
}

}  // namespace
