// Texture recipes: text set with FreeType for the text operation.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>

#include "frame/rtfile.h"
#include "texgen.h"

bool tgTextMask(const std::string& fontFile, float sizePx, const ShortString& text, int32_t width, int32_t height,
                float* mask, std::string& why) {
    std::string data;
    int code = 0;
    if (!TryReadFile(fontFile.c_str(), data, &code)) {
        why = "cannot read font " + fontFile;
        return false;
    }
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        why = "FreeType does not start";
        return false;
    }
    bool ok = FT_New_Memory_Face(lib, (const FT_Byte*)data.data(), (FT_Long)data.size(), 0, &face) == 0;
    if (!ok) why = fontFile + " is not a font FreeType can read";
    if (ok) {
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
        ok = FT_Set_Pixel_Sizes(face, 0, (FT_UInt)std::max(1.0f, sizePx)) == 0;
        if (!ok) why = fontFile + " has no size " + std::to_string((int)sizePx);
    }
    if (ok) {
        // Two passes: measure the line's ink, then set it centred.
        int32_t minX = INT_MAX, maxX = INT_MIN, minY = INT_MAX, maxY = INT_MIN;
        for (int pass = 0; pass < 2; ++pass) {
            int32_t offX = pass ? width / 2 - (minX + maxX) / 2 : 0, offY = pass ? height / 2 - (minY + maxY) / 2 : 0;
            int64_t pen = 0;
            for (uint8_t ch : view(text)) {
                FT_UInt index = FT_Get_Char_Index(face, ch);
                if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) continue;
                FT_GlyphSlot g = face->glyph;
                const FT_Bitmap& b = g->bitmap;
                int32_t gx = (int32_t)pen + g->bitmap_left, gy = -g->bitmap_top;
                if (!pass && b.rows > 0 && b.width > 0) {
                    minX = std::min(minX, gx), maxX = std::max(maxX, gx + (int32_t)b.width);
                    minY = std::min(minY, gy), maxY = std::max(maxY, gy + (int32_t)b.rows);
                }
                if (pass && b.pixel_mode == FT_PIXEL_MODE_GRAY)
                    for (int32_t y = 0; y < (int32_t)b.rows; ++y)
                        for (int32_t x = 0; x < (int32_t)b.width; ++x) {
                            int64_t px = (int64_t)gx + x + offX, py = (int64_t)gy + y + offY;
                            if (px < 0 || py < 0 || px >= width || py >= height) continue;
                            float v = b.buffer[(ptrdiff_t)y * b.pitch + x] / 255.0f;
                            float& m = mask[(size_t)py * width + (size_t)px];
                            m = std::max(m, v);
                        }
                pen += (g->advance.x + 32) >> 6;
            }
            if (minX > maxX) break;  // no ink at all
        }
    }
    if (face) FT_Done_Face(face);
    FT_Done_FreeType(lib);
    return ok;
}
