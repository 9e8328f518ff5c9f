// Font set file: reading and writing (the GL side is in fontdraw.cpp).
#include <cstring>

#include "../frame/frame.h"
#include "font.h"

FontSet ShowFont;

void fontParse(FontSet& font, const std::string& data, const char* fileName) {
    std::string detail = std::string("font set ") + fileName + " is cut short";
    if (data.size() < 260) RunError(100, detail.c_str());
    int32_t count;
    std::memcpy(&count, data.data(), 4);
    // The file must hold every glyph it announces.
    if (count < 0 || (uint64_t)count * sizeof(Glyph) > data.size() - 260) RunError(100, detail.c_str());
    font.count = count;
    std::memcpy(font.map, data.data() + 4, 256);
    font.glyphs = (Glyph*)Base.BS_MemGet(sizeof(Glyph) * (size_t)count, "Font glyphs");
    if (count > 0) std::memcpy((void*)font.glyphs, data.data() + 260, sizeof(Glyph) * (size_t)count);
    for (int32_t i = 0; i < count; ++i) font.glyphs[i].texture = 0;
}

bool SaveFont(const FontSet& font, const char* fileName, std::string* why) {
    std::string out(4, '\0');
    std::memcpy(out.data(), &font.count, 4);
    out.append((const char*)font.map, 256);
    for (int32_t i = 0; i < font.count; ++i) {
        Glyph g = font.glyphs[i];
        g.texture = 0;
        out.append((const char*)&g, sizeof g);
    }
    return TryWriteFileAtomic(fileName, out, why);
}

const Glyph* fontGlyph(const FontSet& font, unsigned char ch) {
    uint8_t i = font.map[ch];
    return (int32_t)i < font.count ? &font.glyphs[i] : nullptr;
}
