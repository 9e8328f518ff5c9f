#include "fontmake.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/frame.h"

namespace {

const int Box = 64;

struct Metrics {
    int32_t top, bottom, widest;  // over the chosen glyphs, in pixels
    bool any;
};

struct FtSession {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    ~FtSession() {
        if (face) FT_Done_Face(face);
        if (lib) FT_Done_FreeType(lib);
    }
};

// Columns the glyph takes: from min(0, left) to max(advance, left + width).
int32_t glyphExtent(FT_GlyphSlot g, int32_t* shift) {
    int32_t left = g->bitmap_left, adv = (int32_t)((g->advance.x + 32) >> 6);
    int32_t lo = std::min(0, left), hi = std::max(adv, left + (int32_t)g->bitmap.width);
    if (shift) *shift = -lo;
    return hi - lo;
}

bool loadGlyph(FT_Face face, unsigned code) {
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0) return false;
    return FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) == 0;
}

bool present(FT_Face face, unsigned code) { return FT_Get_Char_Index(face, code) != 0; }

Metrics measure(FT_Face face, const bool chars[256], int32_t size) {
    Metrics m{-100000, 100000, 0, false};
    if (FT_Set_Pixel_Sizes(face, 0, (FT_UInt)size) != 0) return m;
    for (unsigned c = 0; c < 256; ++c) {
        if (!chars[c] || !loadGlyph(face, c)) continue;
        FT_GlyphSlot g = face->glyph;
        m.widest = std::max(m.widest, glyphExtent(g, nullptr));
        if (g->bitmap.rows > 0) {
            m.top = std::max(m.top, (int32_t)g->bitmap_top);
            m.bottom = std::min(m.bottom, (int32_t)g->bitmap_top - (int32_t)g->bitmap.rows);
            m.any = true;
        }
    }
    return m;
}

bool fits(const Metrics& m) { return m.widest <= Box && (!m.any || m.top - m.bottom <= Box); }

// Coverage of bitmap pixel (x, y), 0..255, for grey and one-bit bitmaps.
uint8_t coverage(const FT_Bitmap& b, int32_t x, int32_t y) {
    const uint8_t* row = b.buffer + (ptrdiff_t)y * b.pitch;
    if (b.pixel_mode == FT_PIXEL_MODE_GRAY) {
        int levels = b.num_grays > 1 ? b.num_grays - 1 : 255;
        return (uint8_t)std::min(255, row[x] * 255 / levels);
    }
    if (b.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x >> 3] >> (7 - (x & 7)) & 1) ? 255 : 0;
    return 0;
}

}  // namespace

FontMakeOptions fmDefaultOptions() {
    FontMakeOptions o{};
    for (int c = 32; c <= 126; ++c) o.chars[c] = true;
    o.size = 0;
    return o;
}

bool fmParseChars(const std::string& text, bool chars[256], std::string& why) {
    std::memset(chars, 0, 256);
    if (text.empty()) {
        why = "--chars wants ranges such as 32-126";
        return false;
    }
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string::npos) end = text.size();
        std::string part = text.substr(pos, end - pos);
        long lo = -1, hi = -1;
        char rest = 0;
        int got = 0;
        if (part.find('-') != std::string::npos) got = sscanf(part.c_str(), "%ld-%ld%c", &lo, &hi, &rest);
        else got = sscanf(part.c_str(), "%ld%c", &lo, &rest), hi = lo;
        bool ok = part.find('-') != std::string::npos ? got == 2 : got == 1;
        for (char ch : part) ok = ok && (isdigit((unsigned char)ch) || ch == '-');
        if (!ok || lo < 0 || hi > 255 || lo > hi) {
            why = "--chars: \"" + part + "\" is not a code or range within 0-255";
            return false;
        }
        for (long c = lo; c <= hi; ++c) chars[c] = true;
        pos = end + 1;
    }
    return true;
}

bool fmMake(FontSet& font, const std::string& fontData, const FontMakeOptions& o, FontMakeReport& report,
            std::string& why) {
    font = FontSet{};
    report = FontMakeReport{};
    if (o.size < 0 || o.size > 1024) {
        why = "--size wants 1 to 1024 pixels";
        return false;
    }
    FtSession ft;
    if (FT_Init_FreeType(&ft.lib) != 0) {
        why = "FreeType does not start";
        return false;
    }
    if (FT_New_Memory_Face(ft.lib, (const FT_Byte*)fontData.data(), (FT_Long)fontData.size(), 0, &ft.face) != 0) {
        why = "not a font FreeType can read";
        return false;
    }
    if (!FT_IS_SCALABLE(ft.face) && o.size == 0) {
        why = "a bitmap font wants --size";
        return false;
    }
    FT_Select_Charmap(ft.face, FT_ENCODING_UNICODE);

    // The largest size whose chosen glyphs fit the box, found from the size
    // that would fit if glyphs grew in proportion, then stepping down (hinting
    // does not scale exactly).
    int32_t size = o.size;
    Metrics m{};
    if (size == 0) {
        m = measure(ft.face, o.chars, Box);
        int32_t span = std::max(m.widest, m.any ? m.top - m.bottom : 1);
        size = span > 0 ? std::max(4, std::min(256, Box * Box / span + 2)) : Box;
        for (m = measure(ft.face, o.chars, size); size > 4 && !fits(m); m = measure(ft.face, o.chars, --size)) {
        }
    } else {
        m = measure(ft.face, o.chars, size);
    }
    if (FT_Set_Pixel_Sizes(ft.face, 0, (FT_UInt)size) != 0) {
        why = "the font has no size " + std::to_string(size);
        return false;
    }
    // Glyphs centred in the box as a group, so ascenders and descenders stay.
    int32_t baseline = m.any ? m.top + (Box - (m.top - m.bottom)) / 2 : Box * 3 / 4;
    if (m.any && m.top - m.bottom > Box)
        baseline = (int32_t)std::lround(Box * (double)ft.face->size->metrics.ascender /
                                        (double)(ft.face->size->metrics.ascender - ft.face->size->metrics.descender));

    int32_t count = 1;
    for (unsigned c = 0; c < 256; ++c) count += o.chars[c] && present(ft.face, c);
    if (count > 256) {
        why = "more than 255 characters chosen";
        return false;
    }
    font.glyphs = (Glyph*)Base.BS_MemGet(sizeof(Glyph) * (size_t)count, "Font glyphs");
    std::memset((void*)font.glyphs, 0, sizeof(Glyph) * (size_t)count);
    font.count = count;
    std::memset(font.map, 0, 256);
    int32_t next = 1;
    for (unsigned c = 0; c < 256; ++c) {
        if (!o.chars[c]) continue;
        if (!present(ft.face, c)) {
            ++report.missing;
            continue;
        }
        Glyph& g = font.glyphs[next];
        font.map[c] = (uint8_t)next++;
        if (!loadGlyph(ft.face, c)) continue;  // a broken outline stays blank
        FT_GlyphSlot slot = ft.face->glyph;
        int32_t shift = 0, extent = glyphExtent(slot, &shift);
        bool clipped = extent > Box;
        const FT_Bitmap& b = slot->bitmap;
        int32_t col0 = shift + slot->bitmap_left, row0 = baseline - slot->bitmap_top;
        for (int32_t y = 0; y < (int32_t)b.rows; ++y)
            for (int32_t x = 0; x < (int32_t)b.width; ++x) {
                int32_t col = col0 + x, row = row0 + y;
                uint8_t v = coverage(b, x, y);
                if (col < 0 || col >= Box || row < 0 || row >= Box) {
                    clipped = clipped || v > 0;
                    continue;
                }
                g.pixels[col * Box + row] = v;
            }
        // A width of 63 shows all 64 columns.
        g.width = std::min<int32_t>(63, (int32_t)std::lround(extent * 63.0 / Box));
        report.clipped += clipped;
    }
    report.size = size;
    report.baseline = baseline;
    report.glyphs = count;
    return true;
}

void fmRelease(FontSet& font) {
    void* p = font.glyphs;
    Base.BS_MemFree(&p);
    font = FontSet{};
}
