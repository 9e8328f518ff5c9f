// TGA, PNG, JPEG and BMP through stb_image (and stb_image_write for txSave).
//
// stb_image fills missing bytes with zeros instead of failing, so each file
// is checked here first: the header must be one stb reads, the sizes must be
// acceptable before anything is allocated, and the file must hold all the
// data its header promises. Only then is it decoded.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "tl_internal.h"

// Cleared allocations: a decoder that leaves bytes unwritten leaves zeros,
// never old heap contents.
#define STBI_MALLOC(size) calloc(1, size)
#define STBI_REALLOC(p, size) realloc(p, size)
#define STBI_FREE(p) free(p)
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_ONLY_TGA
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_MAX_DIMENSIONS TX_MAX_SIDE
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBIW_MALLOC(size) malloc(size)
#define STBIW_REALLOC(p, size) realloc(p, size)
#define STBIW_FREE(p) free(p)
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wtype-limits"
#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace tl {

namespace {

inline uint32_t be16(const uint8_t* p) { return (uint32_t)p[0] << 8 | p[1]; }

bool isPng(const uint8_t* d, size_t n) {
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    return n >= 8 && memcmp(d, sig, 8) == 0;
}
bool isJpeg(const uint8_t* d, size_t n) { return n >= 3 && d[0] == 0xff && d[1] == 0xd8 && d[2] == 0xff; }
bool isBmp(const uint8_t* d, size_t n) { return n >= 2 && d[0] == 'B' && d[1] == 'M'; }

// A TGA header that stb reads: colour-mapped (types 1, 9) with 8- or
// 16-bit indexes, true colour (2, 10) or grey (3, 11).
bool isTga(const uint8_t* d, size_t n) {
    if (n < 18) return false;
    int cmapType = d[1], type = d[2], cmapBits = d[7], bpp = d[16];
    if (cmapType > 1) return false;
    if (cmapType == 1) {
        if (type != 1 && type != 9) return false;
        if (cmapBits != 8 && cmapBits != 15 && cmapBits != 16 && cmapBits != 24 && cmapBits != 32) return false;
        if (bpp != 8 && bpp != 16) return false;
    } else {
        if (type != 2 && type != 3 && type != 10 && type != 11) return false;
        if (bpp != 8 && bpp != 15 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    }
    return le16(d + 12) >= 1 && le16(d + 14) >= 1;
}

// The bytes of the pixel data, walked as stb reads them.
int32_t checkTga(const uint8_t* d, size_t n) {
    int64_t w = le16(d + 12), h = le16(d + 14);
    if (!sizeAcceptable(w, h)) return TX_ERR_TOO_LARGE;
    bool indexed = d[1] == 1, rle = d[2] >= 8;
    int bpp = d[16];
    size_t at = 18 + (size_t)d[0];
    if (indexed) {
        int cmapBits = d[7];
        size_t entry = (cmapBits == 15 || cmapBits == 16) ? 2 : (size_t)cmapBits / 8;
        size_t count = le16(d + 5);
        if (count == 0) return TX_ERR_MALFORMED;
        // stb skips the first-entry field as bytes before the palette.
        at += le16(d + 3) + count * entry;
    }
    size_t pixel = bpp == 15 ? 2 : (size_t)bpp / 8;
    uint64_t total = (uint64_t)w * (uint64_t)h;
    if (!rle) return at <= n && (uint64_t)(n - at) / pixel >= total ? TX_OK : TX_ERR_TRUNCATED;
    for (uint64_t done = 0; done < total;) {
        if (at >= n) return TX_ERR_TRUNCATED;
        uint8_t cmd = d[at++];
        uint64_t count = 1 + (cmd & 127);
        uint64_t bytes = (cmd & 128) ? pixel : pixel * count;
        if (n - at < bytes) return TX_ERR_TRUNCATED;
        at += (size_t)bytes;
        done += count;
    }
    return TX_OK;
}

int32_t checkBmp(const uint8_t* d, size_t n) {
    if (n < 18) return TX_ERR_TRUNCATED;
    uint32_t offset = le32(d + 10), hsz = le32(d + 14);
    if (hsz != 12 && hsz != 40 && hsz != 56 && hsz != 108 && hsz != 124) return TX_ERR_FORMAT;
    if (n < 14 + (size_t)hsz) return TX_ERR_TRUNCATED;
    int64_t w, h;
    uint32_t bpp;
    if (hsz == 12) {
        w = le16(d + 18), h = le16(d + 20), bpp = le16(d + 24);
    } else {
        w = (int32_t)le32(d + 18), h = (int32_t)le32(d + 22), bpp = le16(d + 28);
    }
    if (h < 0) h = -h;
    if (w < 1 || h < 1) return TX_ERR_MALFORMED;
    if (!sizeAcceptable(w, h)) return TX_ERR_TOO_LARGE;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return TX_ERR_MALFORMED;
    if (offset < 14 + hsz || offset > n) return offset > n ? TX_ERR_TRUNCATED : TX_ERR_MALFORMED;
    uint64_t row = ((uint64_t)w * bpp + 31) / 32 * 4;
    return (uint64_t)(n - offset) / row >= (uint64_t)h ? TX_OK : TX_ERR_TRUNCATED;
}

// Walks the chunks to the end chunk: a PNG without it, whole, is cut short.
int32_t checkPng(const uint8_t* d, size_t n) {
    size_t p = 8;
    for (;;) {
        if (n - p < 8) return TX_ERR_TRUNCATED;
        uint64_t len = (uint64_t)be16(d + p) << 16 | be16(d + p + 2);
        bool end = memcmp(d + p + 4, "IEND", 4) == 0;
        if ((uint64_t)(n - p) < 12 + len) return TX_ERR_TRUNCATED;
        p += 12 + (size_t)len;
        if (end) return TX_OK;
    }
}

// A segment of Huffman tables: each at most 256 values (stb_image builds
// its tables without checking that, and would write past them).
bool huffmanTablesFit(const uint8_t* d, size_t n) {
    size_t q = 0;
    while (q < n) {
        if (n - q < 17) return false;
        if ((d[q] >> 4) > 1 || (d[q] & 15) > 3) return false;
        size_t values = 0;
        for (int i = 1; i <= 16; ++i) values += d[q + i];
        if (values > 256 || n - q - 17 < values) return false;
        q += 17 + values;
    }
    return true;
}

// Walks the markers to the end of image: a JPEG without it is cut short.
int32_t checkJpeg(const uint8_t* d, size_t n) {
    size_t p = 2;
    for (;;) {
        if (p >= n) return TX_ERR_TRUNCATED;
        if (d[p] != 0xff) return TX_ERR_MALFORMED;
        while (p < n && d[p] == 0xff) ++p;
        if (p >= n) return TX_ERR_TRUNCATED;
        uint8_t m = d[p++];
        if (m == 0xd9) return TX_OK;
        if (m == 0xd8 || m == 0x01 || (m >= 0xd0 && m <= 0xd7)) continue;
        if (m == 0x00) return TX_ERR_MALFORMED;
        if (n - p < 2) return TX_ERR_TRUNCATED;
        size_t len = be16(d + p);
        if (len < 2) return TX_ERR_MALFORMED;
        if (n - p < len) return TX_ERR_TRUNCATED;
        if (m == 0xc4 && !huffmanTablesFit(d + p + 2, len - 2)) return TX_ERR_MALFORMED;
        p += len;
        if (m != 0xda) continue;
        // Entropy-coded data runs to the next marker that is neither a
        // stuffed zero nor a restart.
        for (;;) {
            if (p >= n) return TX_ERR_TRUNCATED;
            if (d[p] != 0xff) {
                ++p;
                continue;
            }
            if (p + 1 >= n) return TX_ERR_TRUNCATED;
            uint8_t next = d[p + 1];
            if (next == 0x00 || (next >= 0xd0 && next <= 0xd7)) p += 2;
            else if (next == 0xff) p += 1;
            else break;
        }
    }
}

// stb's pixels (tight rows of `comp` bytes, taken over) into an image of
// padded rows; grey becomes RGB and grey with alpha RGBA. Rows that need
// neither padding nor widening stay where stb put them.
TextureImage* fromStb(uint8_t* px, int w, int h, int comp, int32_t source) {
    int outC = comp <= 2 ? comp + 2 : comp;
    int32_t pitch = rowPitch(w, outC);
    int32_t size = pitch * h;
    bool asIs = outC == comp && pitch == w * comp;
    TextureImage* img = asIs ? adoptImage(TX_KIND_PIXELS, px, size) : newImage(TX_KIND_PIXELS, 1, &size);
    if (!img) {
        stbi_image_free(px);
        return nullptr;
    }
    img->source = source;
    img->width = w;
    img->height = h;
    img->bpp = outC * 8;
    img->format = outC == 4 ? 1 : 0;
    img->pitch = pitch;
    if (asIs) return img;
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = px + (size_t)y * w * comp;
        uint8_t* o = img->level[0] + (size_t)y * pitch;
        if (comp >= 3) {
            memcpy(o, s, (size_t)w * comp);
            continue;
        }
        for (int x = 0; x < w; ++x, s += comp, o += outC) {
            o[0] = o[1] = o[2] = s[0];
            if (comp == 2) o[3] = s[1];
        }
    }
    stbi_image_free(px);
    return img;
}

int32_t errorFromStb() {
    const char* why = stbi_failure_reason();
    if (!why) return TX_ERR_MALFORMED;
    if (!strcmp(why, "outofmem")) return TX_ERR_MEMORY;
    if (!strcmp(why, "too large")) return TX_ERR_TOO_LARGE;
    return TX_ERR_MALFORMED;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = (std::vector<uint8_t>*)context;
    out->insert(out->end(), (uint8_t*)data, (uint8_t*)data + size);
}

}  // namespace

TextureImage* loadStb(const uint8_t* data, size_t size) {
    int32_t source, check;
    if (isPng(data, size)) {
        source = TX_SOURCE_PNG, check = checkPng(data, size);
    } else if (isJpeg(data, size)) {
        source = TX_SOURCE_JPEG, check = checkJpeg(data, size);
    } else if (isBmp(data, size)) {
        source = TX_SOURCE_BMP, check = checkBmp(data, size);
    } else if (isTga(data, size)) {
        source = TX_SOURCE_TGA, check = checkTga(data, size);
    } else {
        fail(TX_ERR_FORMAT);
        return nullptr;
    }
    if (check != TX_OK) {
        fail(check);
        return nullptr;
    }
    if (size > (size_t)0x7fffffff) {
        fail(TX_ERR_TOO_LARGE);
        return nullptr;
    }
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(data, (int)size, &w, &h, &comp)) {
        fail(errorFromStb());
        return nullptr;
    }
    if (!sizeAcceptable(w, h)) {
        fail(TX_ERR_TOO_LARGE);
        return nullptr;
    }
    uint8_t* px = stbi_load_from_memory(data, (int)size, &w, &h, &comp, 0);
    if (!px) {
        fail(errorFromStb());
        return nullptr;
    }
    if (comp < 1 || comp > 4 || !sizeAcceptable(w, h)) {
        stbi_image_free(px);
        fail(TX_ERR_MALFORMED);
        return nullptr;
    }
    return fromStb(px, w, h, comp, source);
}

bool saveStb(const char* fileName, const TextureImage* image) {
    int c = image->bpp / 8, w = image->width, h = image->height;
    std::vector<uint8_t> tight((size_t)w * h * c);
    bool bottomFirst = (image->flags & TX_FLAG_BOTTOM_FIRST) != 0;
    for (int y = 0; y < h; ++y)
        memcpy(tight.data() + (size_t)y * w * c,
               image->level[0] + (size_t)(bottomFirst ? h - 1 - y : y) * rowPitch(w, c), (size_t)w * c);
    std::vector<uint8_t> out;
    const char* ext = strrchr(fileName, '.');
    char e[8] = {0};
    for (int i = 0; ext && ext[i] && i < 7; ++i) e[i] = (char)tolower((unsigned char)ext[i]);
    int ok = 0;
    if (!strcmp(e, ".png")) ok = stbi_write_png_to_func(appendBytes, &out, w, h, c, tight.data(), w * c);
    else if (!strcmp(e, ".bmp")) ok = stbi_write_bmp_to_func(appendBytes, &out, w, h, c, tight.data());
    else if (!strcmp(e, ".tga")) ok = stbi_write_tga_to_func(appendBytes, &out, w, h, c, tight.data());
    else ok = stbi_write_jpg_to_func(appendBytes, &out, w, h, c, tight.data(), 92);
    if (!ok) return fail(TX_ERR_WRITE);
    return writeWholeFile(fileName, out.data(), out.size());
}

bool scaleImage(TextureImage* image, int32_t width, int32_t height) {
    int c = image->bpp / 8;
    int32_t pitch = rowPitch(width, c);
    uint8_t* block = allocBlock((size_t)pitch * height);
    if (!block) return fail(TX_ERR_MEMORY);
    if (!stbir_resize_uint8(image->level[0], image->width, image->height, rowPitch(image->width, c), block, width,
                            height, pitch, c)) {
        freeBlock(block);
        return fail(TX_ERR_MEMORY);
    }
    replaceBlock(image, block);
    image->width = width;
    image->height = height;
    image->pitch = pitch;
    image->levels = 1;
    image->level[0] = block;
    image->levelsize[0] = pitch * height;
    for (int i = 1; i < TX_MAX_LEVELS; ++i) image->level[i] = nullptr, image->levelsize[i] = 0;
    return true;
}

}  // namespace tl
