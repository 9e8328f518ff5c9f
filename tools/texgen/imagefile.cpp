// Texture recipes: the canvas written as TGA, PNG or DDS.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#define STB_DXT_STATIC
#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>

#include "texgen.h"

namespace {

void put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = (char)(v >> (8 * i));
}

std::vector<uint8_t> toBytes(const float* rgba, size_t pixels) {
    std::vector<uint8_t> b(pixels * 4);
    for (size_t i = 0; i < pixels * 4; ++i) {
        float v = rgba[i] < 0 ? 0 : rgba[i] > 1 ? 1 : rgba[i];
        b[i] = (uint8_t)std::lround(v * 255.0f);
    }
    return b;
}

std::string tga(const std::vector<uint8_t>& px, int32_t w, int32_t h, int bits) {
    std::string t(18, '\0');
    t[2] = 2;  // uncompressed true colour
    t[12] = (char)(w & 255), t[13] = (char)(w >> 8);
    t[14] = (char)(h & 255), t[15] = (char)(h >> 8);
    t[16] = (char)bits;
    t[17] = (char)(0x20 | (bits == 32 ? 8 : 0));  // top row first, 8 alpha bits
    t.reserve(18 + px.size());
    for (size_t i = 0; i < px.size(); i += 4) {
        t += (char)px[i + 2], t += (char)px[i + 1], t += (char)px[i];
        if (bits == 32) t += (char)px[i + 3];
    }
    return t;
}

void appendTo(void* context, void* data, int size) { ((std::string*)context)->append((const char*)data, (size_t)size); }

std::string png(const std::vector<uint8_t>& px, int32_t w, int32_t h, int comp) {
    std::vector<uint8_t> rows;
    const uint8_t* src = px.data();
    if (comp == 3) {
        rows.resize((size_t)w * h * 3);
        for (size_t i = 0, o = 0; i < px.size(); i += 4, o += 3) std::memcpy(&rows[o], &px[i], 3);
        src = rows.data();
    }
    std::string out;
    stbi_write_png_to_func(appendTo, &out, w, h, comp, src, w * comp);
    return out;
}

// Next level: a 2 x 2 box filter (an odd last row or column folds in).
std::vector<float> halve(const std::vector<float>& src, int32_t w, int32_t h, int32_t& nw, int32_t& nh) {
    nw = std::max(1, w / 2), nh = std::max(1, h / 2);
    std::vector<float> out((size_t)nw * nh * 4);
    for (int32_t y = 0; y < nh; ++y)
        for (int32_t x = 0; x < nw; ++x)
            for (int c = 0; c < 4; ++c) {
                float sum = 0;
                int n = 0;
                for (int32_t dy = 0; dy < 2; ++dy)
                    for (int32_t dx = 0; dx < 2; ++dx) {
                        int32_t sx = std::min(w - 1, x * 2 + dx), sy = std::min(h - 1, y * 2 + dy);
                        sum += src[((size_t)sy * w + sx) * 4 + c], ++n;
                    }
                out[((size_t)y * nw + x) * 4 + c] = sum / (float)n;
            }
    return out;
}

std::string dxtLevel(const std::vector<uint8_t>& px, int32_t w, int32_t h, bool alpha) {
    std::string out;
    uint8_t block[64], packed[16];
    for (int32_t by = 0; by < h; by += 4)
        for (int32_t bx = 0; bx < w; bx += 4) {
            // Blocks past the edge repeat the last row and column.
            for (int32_t y = 0; y < 4; ++y)
                for (int32_t x = 0; x < 4; ++x) {
                    int32_t sx = std::min(w - 1, bx + x), sy = std::min(h - 1, by + y);
                    std::memcpy(block + (y * 4 + x) * 4, &px[((size_t)sy * w + sx) * 4], 4);
                }
            stb_compress_dxt_block(packed, block, alpha ? 1 : 0, STB_DXT_HIGHQUAL);
            out.append((const char*)packed, alpha ? 16 : 8);
        }
    return out;
}

std::string dds(const float* rgba, int32_t w, int32_t h, bool alpha, int32_t* levelsOut) {
    int32_t levels = 1;
    for (int32_t s = std::max(w, h); s > 1 && levels < 13; s >>= 1) ++levels;
    std::string out(128, '\0');
    std::memcpy(out.data(), "DDS ", 4);
    put32(out, 4, 124);
    put32(out, 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000 | (levels > 1 ? 0x20000 : 0));
    put32(out, 12, (uint32_t)h);
    put32(out, 16, (uint32_t)w);
    put32(out, 20, (uint32_t)(((w + 3) / 4) * ((h + 3) / 4) * (alpha ? 16 : 8)));
    put32(out, 28, (uint32_t)levels);
    put32(out, 76, 32);
    put32(out, 80, 0x4);  // four-character code
    std::memcpy(out.data() + 84, alpha ? "DXT5" : "DXT1", 4);
    put32(out, 108, 0x1000 | (levels > 1 ? 0x8 | 0x400000 : 0));
    std::vector<float> level(rgba, rgba + (size_t)w * h * 4);
    int32_t lw = w, lh = h;
    for (int32_t i = 0; i < levels; ++i) {
        if (i > 0) {
            int32_t nw, nh;
            level = halve(level, lw, lh, nw, nh);
            lw = nw, lh = nh;
        }
        out += dxtLevel(toBytes(level.data(), (size_t)lw * lh), lw, lh, alpha);
    }
    if (levelsOut) *levelsOut = levels;
    return out;
}

}  // namespace

std::string tgEncode(const float* rgba, int32_t width, int32_t height, int32_t format, int32_t* levels) {
    if (levels) *levels = 1;
    switch (format) {
    case TGF_tga24: return tga(toBytes(rgba, (size_t)width * height), width, height, 24);
    case TGF_tga32: return tga(toBytes(rgba, (size_t)width * height), width, height, 32);
    case TGF_png24: return png(toBytes(rgba, (size_t)width * height), width, height, 3);
    case TGF_png32: return png(toBytes(rgba, (size_t)width * height), width, height, 4);
    case TGF_dxt1: return dds(rgba, width, height, false, levels);
    case TGF_dxt5: return dds(rgba, width, height, true, levels);
    default: return std::string();
    }
}
