// font.h - the show's bitmap font and its text drawer.
//
// "2ddata/fontset.3f": a glyph count N (int32), a 256-byte character map,
// then N glyph records of 4104 bytes: 64 x 64 luminance bytes stored column
// by column (run r is screen column r from the left, byte j in a run is row
// j from the top), the glyph's width in texels (63 fills the box) and four
// bytes whose stored value is ignored (the GL texture name, made at load).
// The font owns its textures; the texture manager is not involved.
#pragma once

#include <cstdint>
#include <string>

#include "../frame/shortstring.h"

struct Glyph {
    uint8_t pixels[4096];
    int32_t width;
    uint32_t texture;
};
static_assert(sizeof(Glyph) == 4104, "a glyph is its 4104-byte file record");

struct FontSet {
    Glyph* glyphs;
    int32_t count;
    uint8_t map[256];
};

extern FontSet ShowFont;

// Reads the file's glyphs (no GL); a missing or short file is a run-time error.
void fontParse(FontSet& font, const std::string& data, const char* fileName);

// Reads the file and makes one GL texture per glyph.
void LoadFont(FontSet& font, const char* fileName);

// Writes the three parts in file order; false with the reason on failure.
bool SaveFont(const FontSet& font, const char* fileName, std::string* why);

// The glyph drawn for a character; null when its map entry is not below the
// glyph count (such a character is drawn as nothing, zero wide).
const Glyph* fontGlyph(const FontSet& font, unsigned char ch);

// Blend-mode selector: 0 off, 1 one/one, 2 colour, 3 alpha; others unchanged.
void fontBlendMode(int32_t mode);

// One line of text in a 1024 x 768 virtual screen (x from the left, y from
// the top), one quad per character over a background quad.
void DrawText(const FontSet& font, float y, float x, float glyphWidth, float glyphHeight, float r, float g,
              float b, float a, float br, float bg, float bb, float ba, float spaceAdvance, float spacing,
              int32_t backgroundMode, int32_t glyphMode, const ShortString& text);
