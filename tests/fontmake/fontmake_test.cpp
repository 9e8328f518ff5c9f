// Font sets made from TrueType fonts: glyph boxes, character map, velmar font make (drawing is the player's).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/support.h"
#include "tools/fontmake/fontmake.h"

namespace {

const std::string Dejavu = "/usr/share/fonts/truetype/dejavu/", Bold = Dejavu + "DejaVuSans-Bold.ttf";  // fonts-dejavu-core

struct Made {
    FontSet font{};
    FontMakeReport report{};
    std::string why;
    bool ok;
    Made(const std::string& data, const FontMakeOptions& o) { ok = fmMake(font, data, o, report, why); }
    ~Made() { fmRelease(font); }
    const Glyph& glyph(unsigned char c) const { return font.glyphs[font.map[c]]; }
};
int Ink(const Glyph& g, int from = 128) { return (int)std::count_if(g.pixels, g.pixels + 4096, [&](uint8_t p) { return p >= from; }); }

TEST(FontMake, TheDefaultSetFillsTheBoxColumnByColumnAndMissingCharactersMapToTheBlank) {
    Made m(ReadFileText(Bold), fmDefaultOptions());
    ASSERT_TRUE(m.ok) << m.why;
    // A blank zero-wide glyph 0, to which codes outside the set map, and the 95 printable characters.
    EXPECT_EQ((std::vector<int>{m.font.count, m.report.missing, m.report.clipped, m.font.glyphs[0].width, Ink(m.font.glyphs[0], 1), m.font.map[0],
                                m.font.map[200], Ink(m.glyph(' '), 1), m.font.map['~'] > 0, m.font.map['A'] != m.font.map['B']}),
              (std::vector<int>{96, 0, 0, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_TRUE(m.glyph(' ').width > 0 && m.glyph('A').width > m.glyph('i').width && m.glyph('W').width > 50);
    // Every map entry names a glyph; the glyphs fill the 64 rows, none cut, ink within their width (63: all 64).
    EXPECT_TRUE(std::all_of(m.font.map, m.font.map + 256, [&](auto g) { return g < m.font.count; }));
    int top = 64, bottom = -1;
    for (int i = 1; i < m.font.count; ++i)
        for (int at = 0; at < 64 * 64; ++at)
            if (m.font.glyphs[i].pixels[at] > 0) {
                top = std::min(top, at % 64), bottom = std::max(bottom, at % 64);
                ASSERT_LE(at / 64, (m.font.glyphs[i].width * 64 + 62) / 63) << "glyph " << i << " row " << at % 64;
                ASSERT_LE(m.font.glyphs[i].width, 63) << i;
            }
    EXPECT_TRUE(top <= 3 && bottom >= 60) << top << " " << bottom;
    // Ranges are read strictly; characters the font lacks map to the blank; what is no font is refused.
    FontMakeOptions o = fmDefaultOptions();
    std::string why, bold = ReadFileText(Bold);
    bool chars[256];
    ASSERT_TRUE(fmParseChars("32-126,160-255,9", chars, why)) << why;
    EXPECT_TRUE(chars[32] && chars[126] && chars[160] && chars[255] && chars[9] && !chars[31] && !chars[127] && !chars[159] && !chars[10]);
    EXPECT_TRUE(fmParseChars("65", chars, why) && std::count(chars, chars + 256, true) == 1);
    for (const char* bad : {"", "a-z", "32-", "-5", "200-100", "0-256", "32-126,", "1 2", "65x", "1--3"})
        EXPECT_FALSE(fmParseChars(bad, chars, why) || why.empty()) << bad;
    ASSERT_TRUE(fmParseChars("0-255", o.chars, why));
    // Control codes have no glyphs; é has more ink than e.
    Made all(ReadFileText(Dejavu + "DejaVuSans.ttf"), o), cut(bold.substr(0, 2000), o);
    EXPECT_TRUE(all.ok && all.report.missing > 30 && all.font.map[7] == 0 && Ink(all.glyph(233)) > Ink(all.glyph('e'))) << all.why;
    EXPECT_EQ(all.font.count, 257 - all.report.missing);
    EXPECT_TRUE(!cut.ok && !cut.why.empty() && !cut.font.glyphs && !Made("not a font", o).ok && !Made("", o).ok);
}

TEST(FontMakeTool, MakesTheSameFontSetEveryTimeAndRefusesBadInputWithOneLine) {
    std::string dir = MakeTempDir("fontmake"), out = dir + "/x.3f", velmar = ShowDir() + "/velmar";
    RunResult a = RunProgram({velmar, "font", "make", Bold, dir + "/a.3f"}), b = RunProgram({velmar, "font", "make", Bold, dir + "/b.3f"});
    std::string fa = ReadFileText(dir + "/a.3f");
    EXPECT_TRUE(fa.size() == 260u + 4104u * 96u && fa == ReadFileText(dir + "/b.3f")) << a.err;
    EXPECT_NE(a.out.find("\"glyphs\":96"), std::string::npos) << a.out;
    WriteFile(dir + "/junk.ttf", "junk junk junk");
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {dir + "/none.ttf", out}, {dir + "/junk.ttf", out}, {Bold, out, "--chars", "z"}, {Bold, out, "--size", "0"},
             {Bold, out, "--size", "30x"},
             {Bold, out, "--size"}, {Bold, out, "--colour", "red"}, {Bold}, {Bold, dir + "/no/such/folder/x.3f"}}) {
        args.insert(args.begin(), {velmar, "font", "make"});
        RunResult r = RunProgram(args);
        EXPECT_EQ((std::vector<long>{r.code, std::count(r.err.begin(), r.err.end(), '\n'), std::filesystem::exists(out)}),
                  (std::vector<long>{2, 1, 0})) << r.err;
    }
    RemoveTree(dir);
}

}  // namespace
