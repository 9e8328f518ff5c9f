// fixtures.h - image files made byte by byte for the loader and manager
// tests (TGA and DDS here; PNG, JPEG and BMP in images_helpers.cpp).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fx {

// Pixels as RGBA, top row first, 4 bytes each.
using Rgba = std::vector<uint8_t>;

inline void put16(std::string& s, uint32_t v) {
    s += (char)(v & 255);
    s += (char)((v >> 8) & 255);
}
inline void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xffff);
    put16(s, v >> 16);
}

// A width x height picture whose every pixel differs: r = 10x + 1,
// g = 20y + 2, b = x + y + 3, a = 200 - x - y.
inline Rgba Pattern(int w, int h) {
    Rgba p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            p.push_back((uint8_t)(10 * x + 1));
            p.push_back((uint8_t)(20 * y + 2));
            p.push_back((uint8_t)(x + y + 3));
            p.push_back((uint8_t)(200 - x - y));
        }
    return p;
}

// One TGA pixel as the file stores it (BGR(A), or the red value as grey).
inline std::string TgaPixel(const uint8_t* p, int bpp) {
    std::string s;
    if (bpp == 8) return std::string(1, (char)p[0]);
    s += (char)p[2], s += (char)p[1], s += (char)p[0];
    if (bpp == 32) s += (char)p[3];
    return s;
}

// Type 2/3 (or 10/11 with rle) TGA of 8 (grey), 24 or 32 bits. Rows go
// into the file bottom first unless topOrigin.
inline std::string Tga(int w, int h, int bpp, const Rgba& px, bool topOrigin = false, bool rle = false) {
    std::string s;
    s += (char)0;                                    // id length
    s += (char)0;                                    // no colour map
    s += (char)((bpp == 8 ? 3 : 2) + (rle ? 8 : 0));  // image type
    s += std::string(9, '\0');                       // colour map, origin
    put16(s, w);
    put16(s, h);
    s += (char)bpp;
    s += (char)((bpp == 32 ? 8 : 0) | (topOrigin ? 0x20 : 0));
    std::vector<std::string> pixels;
    for (int r = 0; r < h; ++r) {
        int y = topOrigin ? r : h - 1 - r;
        for (int x = 0; x < w; ++x) pixels.push_back(TgaPixel(&px[((size_t)y * w + x) * 4], bpp));
    }
    if (!rle) {
        for (auto& p : pixels) s += p;
        return s;
    }
    // Runs of equal pixels as run packets, the rest as raw packets.
    for (size_t i = 0; i < pixels.size();) {
        size_t run = 1;
        while (i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i]) ++run;
        if (run > 1) {
            s += (char)(0x80 | (run - 1));
            s += pixels[i];
            i += run;
            continue;
        }
        size_t raw = 1;
        while (i + raw < pixels.size() && raw < 128 &&
               (i + raw + 1 >= pixels.size() || pixels[i + raw] != pixels[i + raw + 1]))
            ++raw;
        s += (char)(raw - 1);
        for (size_t k = 0; k < raw; ++k) s += pixels[i + k];
        i += raw;
    }
    return s;
}

// Colour-mapped TGA: 8-bit indexes into a palette of 24-bit entries (RGB).
inline std::string TgaMapped(int w, int h, const std::vector<uint32_t>& paletteRgb, const std::vector<uint8_t>& idx) {
    std::string s;
    s += (char)0, s += (char)1, s += (char)1;
    put16(s, 0);
    put16(s, (uint32_t)paletteRgb.size());
    s += (char)24;
    put16(s, 0), put16(s, 0);
    put16(s, w), put16(s, h);
    s += (char)8, s += (char)0x20;  // top row first
    for (uint32_t c : paletteRgb) s += (char)(c & 255), s += (char)((c >> 8) & 255), s += (char)(c >> 16);
    for (uint8_t i : idx) s += (char)i;
    return s;
}

inline uint16_t Rgb565(int r, int g, int b) { return (uint16_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }

// A DXT1 colour block (also the colour half of DXT3/5 blocks).
inline std::string ColourBlock(uint16_t c0, uint16_t c1, uint32_t indexes) {
    std::string s;
    put16(s, c0), put16(s, c1), put32(s, indexes);
    return s;
}

// A DDS file around `data` with a FourCC such as "DXT1"; `levels` > 1
// announces a mip chain.
inline std::string Dds(const char* fourcc, int w, int h, int levels, const std::string& data, uint32_t caps2 = 0) {
    std::string s = "DDS ";
    put32(s, 124);
    put32(s, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000 | (levels > 1 ? 0x20000 : 0));
    put32(s, h), put32(s, w);
    put32(s, 0);  // linear size
    put32(s, 0);  // depth
    put32(s, levels);
    s += std::string(44, '\0');
    put32(s, 32), put32(s, 0x4);
    s += std::string(fourcc, 4);
    s += std::string(20, '\0');
    put32(s, 0x1000 | (levels > 1 ? 0x400008 : 0));
    put32(s, caps2);
    s += std::string(12, '\0');
    return s + data;
}

}  // namespace fx
