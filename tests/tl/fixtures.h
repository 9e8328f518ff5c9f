// fixtures.h - TGA and DDS files made byte by byte for the loader, texture
// manager and layer tests (fields little-endian, as on every target).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fx {

using Rgba = std::vector<uint8_t>;  // 4 bytes a pixel, top row first

// Every pixel differs: r = 10x + 1, g = 20y + 2, b = x + y + 3, a = 200 - x - y.
inline Rgba Pattern(int w, int h) {
    Rgba p;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.insert(p.end(), {(uint8_t)(10 * x + 1), (uint8_t)(20 * y + 2), (uint8_t)(x + y + 3), (uint8_t)(200 - x - y)});
    return p;
}

// 8 (grey from red), 24 or 32 bits, bottom row first unless `top`; with
// `rle`, equal neighbours (across rows too) make run packets, others raw
// ones. `mapped`: 8-bit indexes, top row first, into a 24-bit palette of
// every pixel in order (at most 256).
inline std::string Tga(int w, int h, int bpp, const Rgba& px, bool top = false, bool rle = false, bool mapped = false) {
    std::string s = {'\0', (char)mapped, (char)(mapped ? 1 : (bpp == 8 ? 3 : 2) + (rle ? 8 : 0)), 0, 0,
                     (char)(mapped ? w * h : 0), 0, (char)(mapped ? 24 : 0), 0, 0, 0, 0, (char)w, (char)(w >> 8), (char)h,
                     (char)(h >> 8), (char)(mapped ? 8 : bpp), (char)((bpp == 32 ? 8 : 0) | (top || mapped ? 0x20 : 0))};
    std::vector<std::string> p;
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            size_t i = (size_t)(top || mapped ? r : h - 1 - r) * w + x;
            const uint8_t* c = &px[i * 4];
            p.push_back(mapped ? std::string(1, (char)i) : std::string{(char)c[2], (char)c[1], (char)c[0], (char)c[3]});
            if (mapped) s += {(char)c[2], (char)c[1], (char)c[0]};
            else p.back() = bpp == 8 ? std::string(1, (char)c[0]) : p.back().substr(0, bpp / 8);
        }
    for (size_t i = 0, n; i < p.size(); i += n) {
        bool run = rle && i + 1 < p.size() && p[i + 1] == p[i];
        for (n = 1; rle && i + n < p.size() && n < 128; ++n)
            if (run ? p[i + n] != p[i] : i + n + 1 < p.size() && p[i + n] == p[i + n + 1]) break;
        if (rle) s += (char)((run ? 0x80 : 0) | (n - 1));
        for (size_t k = 0; k < (run ? 1 : n); ++k) s += p[i + k];
    }
    return s;
}

inline uint16_t Rgb565(int r, int g, int b) { return (uint16_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); }

// A DXT1 block, also the colour half of DXT3 and DXT5 blocks.
inline std::string ColourBlock(uint16_t c0, uint16_t c1, uint32_t indexes) {
    uint16_t b[4] = {c0, c1, (uint16_t)indexes, (uint16_t)(indexes >> 16)};
    return std::string((char*)b, 8);
}

// A DDS file around `data` with a FourCC such as "DXT1"; `levels` > 1 announces a chain.
inline std::string Dds(const char* fourcc, int w, int h, int levels, const std::string& data, uint32_t caps2 = 0) {
    uint32_t head[32] = {0x20534444 /* "DDS " */, 124, 0x81007u | (levels > 1 ? 0x20000 : 0), (uint32_t)h, (uint32_t)w,
                         0, 0, (uint32_t)levels};
    head[19] = 32, head[20] = 0x4, head[27] = 0x1000 | (levels > 1 ? 0x400008 : 0), head[28] = caps2;
    memcpy(&head[21], fourcc, 4);
    return std::string((char*)head, 128) + data;
}

}  // namespace fx
