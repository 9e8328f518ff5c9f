#include <gtest/gtest.h>

#include <cstring>

#include "player/font.h"
#include "support/support.h"

namespace {

std::string FontFile(int32_t count, int firstWidth = 63) {
    std::string d(4, '\0');
    std::memcpy(d.data(), &count, 4);
    std::string map(256, '\0');
    map['A'] = 1;
    map['z'] = 200;  // beyond the glyph count
    d += map;
    for (int i = 0; i < count; ++i) {
        Glyph g{};
        g.width = i == 0 ? firstWidth : 10 + i;
        g.pixels[5] = (uint8_t)(i + 1);
        g.texture = 0xDEADBEEF;  // stored value is ignored
        d.append((const char*)&g, sizeof g);
    }
    return d;
}

TEST(FontSet, ReadsGlyphsMapAndWidths) {
    FontSet f{};
    fontParse(f, FontFile(3, 0) + "trailing bytes are not read", "f.3f");
    ASSERT_EQ(f.count, 3);
    EXPECT_EQ(f.map['A'], 1);
    EXPECT_EQ(f.glyphs[0].width, 0);
    EXPECT_EQ(f.glyphs[2].width, 12);
    EXPECT_EQ(f.glyphs[1].pixels[5], 2);
    EXPECT_EQ(f.glyphs[1].texture, 0u);
    EXPECT_EQ(fontGlyph(f, 'A'), &f.glyphs[1]);
    EXPECT_EQ(fontGlyph(f, 'z'), nullptr);  // map entry at or above the count
}

TEST(FontSet, ShortOrNegativeFilesAreReadErrors) {
    ThrowOnFailure guard;
    for (std::string data : {std::string(), FontFile(2).substr(0, 259), FontFile(2).substr(0, 260 + 4104 * 2 - 1),
                             FontFile(-1)}) {
        FontSet f{};
        try {
            fontParse(f, data, "f.3f");
            ADD_FAILURE() << "accepted " << data.size() << " bytes";
        } catch (const Failure& e) {
            EXPECT_EQ(e.kind, FailRunError);
            EXPECT_EQ(e.code, 100);
        }
    }
}

TEST(FontSet, WriterAndReaderAgree) {
    FontSet f{};
    std::string src = FontFile(4);
    fontParse(f, src, "f.3f");
    std::string dir = MakeTempDir("font");
    std::string why;
    ASSERT_TRUE(SaveFont(f, (dir + "/out.3f").c_str(), &why)) << why;
    std::string back = ReadFileText(dir + "/out.3f");
    // Identical but for the ignored texture fields, which the writer clears.
    ASSERT_EQ(back.size(), src.size());
    FontSet g{};
    fontParse(g, back, "out.3f");
    EXPECT_EQ(std::memcmp(g.map, f.map, 256), 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::memcmp(g.glyphs[i].pixels, f.glyphs[i].pixels, 4096), 0);
        EXPECT_EQ(g.glyphs[i].width, f.glyphs[i].width);
    }
    RemoveTree(dir);
}

}  // namespace
