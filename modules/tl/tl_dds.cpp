// DDS files with DXT1, DXT3 or DXT5 blocks and their mip levels.
//
// The levels are handed over as they are (kind 5) when the option for their
// format says the GL takes them, and decoded to pixels here otherwise. DXT1
// has no alpha in the format the GL is asked for, so it decodes to 24-bit
// RGB (its transparent texels come out black either way); DXT3 and DXT5
// decode to 32-bit RGBA. Cube maps, volumes and uncompressed DDS files are
// not read.
#include <string.h>

#include <algorithm>
#include <vector>

#include "tl_internal.h"

namespace tl {

namespace {

const uint32_t kHeaderSize = 124, kDataOffset = 128;
const uint32_t DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PIXELFORMAT = 0x1000;
const uint32_t DDSD_MIPMAPCOUNT = 0x20000, DDSD_LINEARSIZE = 0x80000;
const uint32_t DDPF_FOURCC = 0x4;
const uint32_t DDSCAPS_COMPLEX = 0x8, DDSCAPS_TEXTURE = 0x1000, DDSCAPS_MIPMAP = 0x400000;
const uint32_t DDSCAPS2_CUBEMAP = 0x200, DDSCAPS2_VOLUME = 0x200000;

inline void put32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v, p[1] = (uint8_t)(v >> 8), p[2] = (uint8_t)(v >> 16), p[3] = (uint8_t)(v >> 24);
}
constexpr uint32_t fourcc(const char (&s)[5]) {
    return (uint32_t)(uint8_t)s[0] | (uint32_t)(uint8_t)s[1] << 8 | (uint32_t)(uint8_t)s[2] << 16 |
           (uint32_t)(uint8_t)s[3] << 24;
}

struct DxtFormat {
    uint32_t code;
    int32_t format;
    int32_t bpp;  // of the decoded picture
};
const DxtFormat kFormats[] = {
    {fourcc("DXT1"), TX_DXT1, 24},
    {fourcc("DXT3"), TX_DXT3, 32},
    {fourcc("DXT5"), TX_DXT5, 32},
};

int32_t optionFor(int32_t format) {
    return format == TX_DXT1 ? options.dxt1 : format == TX_DXT3 ? options.dxt3 : options.dxt5;
}

// 5:6:5 to 8:8:8, the top bits repeated into the bottom ones.
void expand565(uint32_t c, uint8_t* rgb) {
    uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    rgb[0] = (uint8_t)(r << 3 | r >> 2);
    rgb[1] = (uint8_t)(g << 2 | g >> 4);
    rgb[2] = (uint8_t)(b << 3 | b >> 2);
}

// The 16 texels of a colour block. DXT3 and DXT5 always use the
// four-colour mode; DXT1 uses three colours and transparent black when its
// first colour is not above its second.
void decodeColour(const uint8_t* b, bool dxt1, uint8_t out[16][4]) {
    uint32_t c0 = le16(b), c1 = le16(b + 2);
    uint8_t pal[4][4];
    expand565(c0, pal[0]);
    expand565(c1, pal[1]);
    pal[0][3] = pal[1][3] = pal[2][3] = pal[3][3] = 255;
    if (!dxt1 || c0 > c1) {
        for (int k = 0; k < 3; ++k) {
            pal[2][k] = (uint8_t)((2 * pal[0][k] + pal[1][k] + 1) / 3);
            pal[3][k] = (uint8_t)((pal[0][k] + 2 * pal[1][k] + 1) / 3);
        }
    } else {
        for (int k = 0; k < 3; ++k) {
            pal[2][k] = (uint8_t)((pal[0][k] + pal[1][k] + 1) / 2);
            pal[3][k] = 0;
        }
        pal[3][3] = 0;
    }
    for (int i = 0; i < 16; ++i) memcpy(out[i], pal[(b[4 + i / 4] >> (2 * (i % 4))) & 3], 4);
}

void decodeAlphaDxt3(const uint8_t* b, uint8_t out[16][4]) {
    for (int i = 0; i < 16; ++i) out[i][3] = (uint8_t)(((b[i / 2] >> (4 * (i % 2))) & 15) * 17);
}

void decodeAlphaDxt5(const uint8_t* b, uint8_t out[16][4]) {
    uint32_t a0 = b[0], a1 = b[1];
    uint8_t pal[8] = {(uint8_t)a0, (uint8_t)a1};
    if (a0 > a1) {
        for (int k = 1; k < 7; ++k) pal[k + 1] = (uint8_t)(((7 - k) * a0 + k * a1 + 3) / 7);
    } else {
        for (int k = 1; k < 5; ++k) pal[k + 1] = (uint8_t)(((5 - k) * a0 + k * a1 + 2) / 5);
        pal[6] = 0, pal[7] = 255;
    }
    uint64_t bits = 0;
    for (int k = 5; k >= 0; --k) bits = bits << 8 | b[2 + k];
    for (int i = 0; i < 16; ++i) out[i][3] = pal[(bits >> (3 * i)) & 7];
}

}  // namespace

bool isDds(const uint8_t* data, size_t size) { return size >= 4 && memcmp(data, "DDS ", 4) == 0; }

int32_t dxtLevelSize(int32_t format, int32_t width, int32_t height) {
    int32_t blocks = ((std::max(width, 1) + 3) / 4) * ((std::max(height, 1) + 3) / 4);
    return blocks * (format == TX_DXT1 ? 8 : 16);
}

void decodeDxt(int32_t format, const uint8_t* blocks, int32_t width, int32_t height, uint8_t* out, int32_t pitch,
               int32_t channels) {
    int32_t bw = (width + 3) / 4, bh = (height + 3) / 4;
    size_t blockBytes = format == TX_DXT1 ? 8 : 16;
    uint8_t texel[16][4];
    for (int32_t by = 0; by < bh; ++by)
        for (int32_t bx = 0; bx < bw; ++bx) {
            const uint8_t* b = blocks + ((size_t)by * bw + bx) * blockBytes;
            if (format == TX_DXT1) {
                decodeColour(b, true, texel);
            } else {
                decodeColour(b + 8, false, texel);
                if (format == TX_DXT3) decodeAlphaDxt3(b, texel);
                else decodeAlphaDxt5(b, texel);
            }
            for (int i = 0; i < 16; ++i) {
                int32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < width && y < height) memcpy(out + (size_t)y * pitch + (size_t)x * channels, texel[i], (size_t)channels);
            }
        }
}

TextureImage* loadDds(const uint8_t* d, size_t n) {
    if (n < kDataOffset) {
        fail(TX_ERR_TRUNCATED);
        return nullptr;
    }
    if (le32(d + 4) != kHeaderSize) {
        fail(TX_ERR_MALFORMED);
        return nullptr;
    }
    uint32_t flags = le32(d + 8), caps = le32(d + 108), caps2 = le32(d + 112);
    uint32_t height = le32(d + 12), width = le32(d + 16), count = le32(d + 28);
    const DxtFormat* fmt = nullptr;
    if (le32(d + 80) & DDPF_FOURCC)
        for (const DxtFormat& f : kFormats)
            if (f.code == le32(d + 84)) fmt = &f;
    if (!fmt || (caps2 & (DDSCAPS2_CUBEMAP | DDSCAPS2_VOLUME))) {
        fail(TX_ERR_FORMAT);
        return nullptr;
    }
    if (width == 0 || height == 0) {
        fail(TX_ERR_MALFORMED);
        return nullptr;
    }
    if (!sizeAcceptable(width, height)) {
        fail(TX_ERR_TOO_LARGE);
        return nullptr;
    }
    // Levels as stored, never more than the chain down to 1 x 1 has (nor
    // than the record holds).
    int32_t chain = 1;
    for (uint32_t s = std::max(width, height); s > 1; s >>= 1) ++chain;
    int32_t levels = ((flags & DDSD_MIPMAPCOUNT) || (caps & DDSCAPS_MIPMAP)) && count > 1 ? (int32_t)std::min(count, 64u) : 1;
    levels = std::min({levels, chain, (int32_t)TX_MAX_LEVELS});

    int32_t w0 = (int32_t)width, h0 = (int32_t)height;
    int32_t blockSizes[TX_MAX_LEVELS];
    size_t total = 0;
    for (int i = 0; i < levels; ++i) {
        blockSizes[i] = dxtLevelSize(fmt->format, std::max(1, w0 >> i), std::max(1, h0 >> i));
        total += (size_t)blockSizes[i];
    }
    if (n - kDataOffset < total) {
        fail(TX_ERR_TRUNCATED);
        return nullptr;
    }
    const uint8_t* src = d + kDataOffset;
    bool handOver = optionFor(fmt->format) == 1 && options.rowOrder != 0;
    TextureImage* img;
    if (handOver) {
        img = newImage(TX_KIND_COMPRESSED, levels, blockSizes);
        if (!img) return nullptr;
        for (int i = 0; i < levels; ++i) {
            memcpy(img->level[i], src, (size_t)blockSizes[i]);
            src += blockSizes[i];
        }
        img->format = fmt->format;
        img->pitch = 0;
    } else {
        int32_t c = fmt->bpp / 8;
        int32_t sizes[TX_MAX_LEVELS];
        for (int i = 0; i < levels; ++i)
            sizes[i] = rowPitch(std::max(1, w0 >> i), c) * std::max(1, h0 >> i);
        img = newImage(TX_KIND_PIXELS, levels, sizes);
        if (!img) return nullptr;
        for (int i = 0; i < levels; ++i) {
            int32_t w = std::max(1, w0 >> i), h = std::max(1, h0 >> i);
            decodeDxt(fmt->format, src, w, h, img->level[i], rowPitch(w, c), c);
            src += blockSizes[i];
        }
        img->format = c == 4 ? 1 : 0;
        img->pitch = rowPitch(w0, c);
    }
    img->source = TX_SOURCE_DDS;
    img->width = w0;
    img->height = h0;
    img->bpp = fmt->bpp;
    return img;
}

bool saveDds(const char* fileName, const TextureImage* image) {
    const DxtFormat* fmt = nullptr;
    for (const DxtFormat& f : kFormats)
        if (f.format == image->format) fmt = &f;
    if (!fmt) return fail(TX_ERR_UNSUPPORTED);
    std::vector<uint8_t> out(kDataOffset, 0);
    uint8_t* h = out.data();
    memcpy(h, "DDS ", 4);
    put32(h + 4, kHeaderSize);
    uint32_t flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_LINEARSIZE;
    if (image->levels > 1) flags |= DDSD_MIPMAPCOUNT;
    put32(h + 8, flags);
    put32(h + 12, (uint32_t)image->height);
    put32(h + 16, (uint32_t)image->width);
    put32(h + 20, (uint32_t)image->levelsize[0]);
    put32(h + 28, (uint32_t)image->levels);
    put32(h + 76, 32);
    put32(h + 80, DDPF_FOURCC);
    put32(h + 84, fmt->code);
    put32(h + 108, DDSCAPS_TEXTURE | (image->levels > 1 ? DDSCAPS_COMPLEX | DDSCAPS_MIPMAP : 0));
    for (int i = 0; i < image->levels; ++i) out.insert(out.end(), image->level[i], image->level[i] + image->levelsize[i]);
    return writeWholeFile(fileName, out.data(), out.size());
}

}  // namespace tl
