// Font sets made from TrueType fonts: the glyph boxes, the character map, the
// velmar command, and the text drawer showing the result legibly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "frame/rtfile.h"
#include "glbind/glbind.h"
#include "player/font.h"
#include "support/glwindow.h"
#include "support/support.h"
#include "tools/fontmake/fontmake.h"

namespace {

const std::string Dejavu = "/usr/share/fonts/truetype/dejavu/";
const std::string BoldFont = Dejavu + "DejaVuSans-Bold.ttf";

std::string Bytes(const std::string& path) {
    std::string data;
    int code = 0;
    EXPECT_TRUE(TryReadFile(path.c_str(), data, &code)) << path << " missing (fonts-dejavu-core)";
    return data;
}

std::string Velmar() { return ShowDir() + "/velmar"; }

struct Made {
    FontSet font{};
    FontMakeReport report{};
    std::string why;
    bool ok = false;
    Made(const std::string& data, const FontMakeOptions& o) { ok = fmMake(font, data, o, report, why); }
    ~Made() { fmRelease(font); }
    const Glyph& glyph(unsigned char c) const { return font.glyphs[font.map[c]]; }
};

int Ink(const Glyph& g, int threshold = 128) {
    int n = 0;
    for (uint8_t p : g.pixels) n += p >= threshold;
    return n;
}

TEST(FontMake, CharacterRangesAreReadStrictly) {
    bool chars[256];
    std::string why;
    ASSERT_TRUE(fmParseChars("32-126,160-255,9", chars, why)) << why;
    EXPECT_TRUE(chars[32] && chars[126] && chars[160] && chars[255] && chars[9]);
    EXPECT_FALSE(chars[31] || chars[127] || chars[159] || chars[10]);
    ASSERT_TRUE(fmParseChars("65", chars, why));
    EXPECT_EQ(std::count(chars, chars + 256, true), 1);
    for (const char* bad : {"", "a-z", "32-", "-5", "200-100", "0-256", "32-126,", "1 2", "65x", "1--3"}) {
        EXPECT_FALSE(fmParseChars(bad, chars, why)) << bad;
        EXPECT_FALSE(why.empty());
    }
}

TEST(FontMake, DefaultSetFillsTheBoxWithPrintableAscii) {
    Made m(Bytes(BoldFont), fmDefaultOptions());
    ASSERT_TRUE(m.ok) << m.why;
    EXPECT_EQ(m.font.count, 96);  // blank glyph 0 and 95 printable characters
    EXPECT_EQ(m.report.missing, 0);
    EXPECT_EQ(m.report.clipped, 0);
    // Glyph 0 is blank and zero wide; codes outside the set map to it.
    EXPECT_EQ(m.font.glyphs[0].width, 0);
    EXPECT_EQ(Ink(m.font.glyphs[0], 1), 0);
    EXPECT_EQ(m.font.map[0], 0);
    EXPECT_EQ(m.font.map[200], 0);
    EXPECT_NE(m.font.map['A'], m.font.map['B']);
    // Every map entry names a glyph; widths stay inside the box.
    for (int c = 0; c < 256; ++c) ASSERT_LT(m.font.map[c], m.font.count);
    for (int i = 0; i < m.font.count; ++i) ASSERT_TRUE(m.font.glyphs[i].width >= 0 && m.font.glyphs[i].width <= 63);
    EXPECT_GT(m.glyph('A').width, m.glyph('i').width);
    EXPECT_GT(m.glyph('W').width, 50);
    EXPECT_EQ(Ink(m.glyph(' '), 1), 0);
    EXPECT_GT(m.glyph(' ').width, 0);
    // Ascenders and descenders together nearly fill the 64 rows, none cut.
    int top = 64, bottom = -1;
    for (int i = 1; i < m.font.count; ++i)
        for (int col = 0; col < 64; ++col)
            for (int row = 0; row < 64; ++row)
                if (m.font.glyphs[i].pixels[col * 64 + row] > 0) top = std::min(top, row), bottom = std::max(bottom, row);
    EXPECT_LE(top, 3);
    EXPECT_GE(bottom, 60);
    // Ink lies within the columns a glyph's width shows (width 63: all 64).
    for (int i = 1; i < m.font.count; ++i) {
        const Glyph& g = m.font.glyphs[i];
        int shown = (g.width * 64 + 62) / 63;
        for (int col = shown + 1; col < 64; ++col)
            for (int row = 0; row < 64; ++row) ASSERT_EQ(g.pixels[col * 64 + row], 0) << "glyph " << i << " col " << col;
    }
}

TEST(FontMake, PixelsAreStoredColumnByColumn) {
    Made m(Bytes(BoldFont), fmDefaultOptions());
    ASSERT_TRUE(m.ok);
    // "-" is a short wide bar: many columns lit, in the same few rows.
    const Glyph& dash = m.glyph('-');
    int columns = 0, rows[64] = {};
    for (int col = 0; col < 64; ++col) {
        bool any = false;
        for (int row = 0; row < 64; ++row)
            if (dash.pixels[col * 64 + row] > 128) any = true, rows[row] = 1;
        columns += any;
    }
    EXPECT_GE(columns, 12);
    EXPECT_LE(std::count(rows, rows + 64, 1), 10);
    // "|" the other way round: one or two runs lit over most of their length.
    const Glyph& bar = m.glyph('|');
    int litColumns = 0;
    for (int col = 0; col < 64; ++col) {
        int n = 0;
        for (int row = 0; row < 64; ++row) n += bar.pixels[col * 64 + row] > 128;
        litColumns += n > 40;
    }
    EXPECT_GE(litColumns, 3);
    EXPECT_LE(litColumns, 12);
}

TEST(FontMake, MissingCharactersMapToTheBlankAndSizesAreKept) {
    FontMakeOptions o = fmDefaultOptions();
    std::string why;
    ASSERT_TRUE(fmParseChars("0-255", o.chars, why));
    o.size = 40;
    Made m(Bytes(Dejavu + "DejaVuSans.ttf"), o);
    ASSERT_TRUE(m.ok) << m.why;
    EXPECT_EQ(m.report.size, 40);
    EXPECT_GT(m.report.missing, 30);  // control codes have no glyphs
    EXPECT_EQ(m.font.map[7], 0);
    EXPECT_NE(m.font.map[233], 0);  // é
    EXPECT_GT(Ink(m.glyph(233)), Ink(m.glyph('e')));
    EXPECT_EQ(m.font.count, 1 + 256 - m.report.missing);
    // A size too large for the box is made, clipped, and says so.
    o = fmDefaultOptions();
    o.size = 200;
    Made big(Bytes(BoldFont), o);
    ASSERT_TRUE(big.ok);
    EXPECT_GT(big.report.clipped, 0);
}

TEST(FontMake, WhatIsNoFontIsRefused) {
    FontMakeOptions o = fmDefaultOptions();
    std::string data = Bytes(BoldFont);
    for (const std::string& bad : {std::string(), std::string("not a font"), data.substr(0, 2000)}) {
        Made m(bad, o);
        EXPECT_FALSE(m.ok);
        EXPECT_FALSE(m.why.empty());
        EXPECT_EQ(m.font.glyphs, nullptr);
    }
}

struct ToolDir {
    std::string dir = MakeTempDir("fontmake");
    ~ToolDir() { RemoveTree(dir); }
};

TEST(FontMakeTool, MakesAFontSetThatReadsBackTheSameEveryTime) {
    ToolDir t;
    RunResult r = RunProgram({Velmar(), "font", "make", BoldFont, t.dir + "/a.3f"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"glyphs\":96"), std::string::npos) << r.out;
    RunResult b = RunProgram({Velmar(), "font", "make", BoldFont, t.dir + "/b.3f"});
    ASSERT_EQ(b.code, 0);
    std::string fa = ReadFileText(t.dir + "/a.3f");
    EXPECT_EQ(fa.size(), 260u + 4104u * 96u);
    EXPECT_TRUE(fa == ReadFileText(t.dir + "/b.3f"));
    RunResult read = RunProgram({Velmar(), "font", t.dir + "/a.3f"});
    ASSERT_EQ(read.code, 0) << read.err;
    EXPECT_EQ(read.out.rfind("{\"count\":96,\"widths\":[0,", 0), 0u) << read.out;
    RunResult some = RunProgram({Velmar(), "font", "make", BoldFont, t.dir + "/c.3f", "--chars", "48-57", "--size", "30"});
    ASSERT_EQ(some.code, 0) << some.err;
    EXPECT_NE(some.out.find("\"glyphs\":11,\"size\":30"), std::string::npos) << some.out;
}

TEST(FontMakeTool, BadInputGetsOneLineAndNoFile) {
    ToolDir t;
    std::string out = t.dir + "/x.3f";
    WriteFile(t.dir + "/junk.ttf", "junk junk junk");
    std::vector<std::vector<std::string>> bad = {
        {"font", "make", t.dir + "/none.ttf", out},
        {"font", "make", t.dir + "/junk.ttf", out},
        {"font", "make", BoldFont, out, "--chars", "z"},
        {"font", "make", BoldFont, out, "--size", "0"},
        {"font", "make", BoldFont, out, "--size"},
        {"font", "make", BoldFont, out, "--colour", "red"},
        {"font", "make", BoldFont},
        {"font", "make", BoldFont, t.dir + "/no/such/folder/x.3f"},
    };
    for (auto args : bad) {
        args.insert(args.begin(), Velmar());
        RunResult r = RunProgram(args);
        EXPECT_EQ(r.code, 2) << args[3];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        struct stat st;
        EXPECT_NE(stat(out.c_str(), &st), 0);
    }
}

// The made font through the program's own loader and text drawer, in a real
// headless GL context: the picture shows each glyph's shape.
TEST(FontMakePixels, TheTextDrawerShowsTheGlyphsLegibly) {
    ToolDir t;
    std::string file = t.dir + "/fontset.3f";
    ASSERT_EQ(RunProgram({Velmar(), "font", "make", BoldFont, file}).code, 0);
    std::string why;
    ASSERT_TRUE(OpenRealWindow(1024, 768, &why)) << why;
    FontSet font{};
    LoadFont(font, file.c_str());
    GL.glClearColor(0, 0, 0, 1);
    GL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GL.glMatrixMode(GL_PROJECTION);
    GL.glLoadIdentity();
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glLoadIdentity();
    // Each texel 2 x 2 pixels: a 128-unit glyph box on a 1024 x 768 screen.
    const char* text = "Ai@";
    DrawText(font, 0, 0, 128, 128, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, S(text));
    std::vector<uint8_t> px = ReadRGBA(0, 768 - 128, 1024, 128);
    auto at = [&](int x, int yFromTop) { return (int)px[((size_t)(127 - yFromTop) * 1024 + (size_t)x) * 4]; };
    int pen = 0, litTotal[3] = {};
    for (int i = 0; i < 3; ++i) {
        const Glyph& g = font.glyphs[font.map[(unsigned char)text[i]]];
        int checked = 0, wrong = 0;
        for (int col = 1; col < 63; ++col)
            for (int row = 1; row < 63; ++row) {
                int lo = 255, hi = 0;
                for (int dc = -1; dc <= 1; ++dc)
                    for (int dr = -1; dr <= 1; ++dr) {
                        int v = g.pixels[(col + dc) * 64 + row + dr];
                        lo = std::min(lo, v), hi = std::max(hi, v);
                    }
                if ((col + 1) * 2 > g.width * 128 / 63) continue;  // beyond the drawn width
                int shown = at(pen + col * 2 + 1, row * 2 + 1);
                if (lo > 200) ++checked, wrong += shown < 150;
                if (hi == 0) ++checked, wrong += shown > 40;
                litTotal[i] += shown > 128;
            }
        EXPECT_GT(checked, 500) << text[i];
        EXPECT_EQ(wrong, 0) << "glyph " << text[i] << " is not drawn as made";
        pen += g.width * 128 / 63;
    }
    EXPECT_GT(litTotal[0], litTotal[1]);  // "A" covers more than "i"
    EXPECT_GT(litTotal[1], 100);
    CloseRealWindow();
}

}  // namespace
