// fontmake.h - font sets made from TrueType or OpenType fonts (FreeType).
//
// Owns nothing beyond a call: fmMake rasterises the chosen characters into
// 64 x 64 glyph boxes, column by column as the font set stores them, and
// fills a FontSet whose glyph block comes from BS_MemGet ("Font glyphs").
// Glyph 0 is blank and zero wide; characters the font lacks map to it.
// Character codes are Latin-1 (code = Unicode code point).
#pragma once

#include <cstdint>
#include <string>

#include "player/font.h"

struct FontMakeOptions {
    bool chars[256];  // the characters to make glyphs for
    int32_t size;     // pixel size; 0: the largest that fits the box
};

struct FontMakeReport {
    int32_t size;      // pixel size used
    int32_t baseline;  // row of the baseline from the top of the box
    int32_t glyphs;    // glyph count, blank glyph 0 included
    int32_t missing;   // chosen characters the font lacks
    int32_t clipped;   // glyphs that did not fit the box whole
};

// The default: printable ASCII, automatic size.
FontMakeOptions fmDefaultOptions();

// "32-126", "65", "32-126,160-255": ranges of codes 0..255. False with the
// reason in `why` on anything else.
bool fmParseChars(const std::string& text, bool chars[256], std::string& why);

// The font set of `fontData` (a font file's bytes); false with the reason.
bool fmMake(FontSet& font, const std::string& fontData, const FontMakeOptions& o, FontMakeReport& report,
            std::string& why);

void fmRelease(FontSet& font);
