// Texture-loader module (Modules/TL.so): the entry points, the options and
// the operations on loaded images. The readers are in tl_stb.cpp (TGA, PNG,
// JPEG, BMP) and tl_dds.cpp (DDS).
//
// Every call sets the result that txGetResult reports. Nothing here ends the
// process or throws: a bad file or a bad argument gives 0 and a result code.
#include <ctype.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../base/filerule.h"

#include <algorithm>

#include "tl_internal.h"

// The program reads the record at these places.
static_assert(offsetof(TextureImage, kind) == 0 && offsetof(TextureImage, format) == 4 &&
                  offsetof(TextureImage, width) == 16 && offsetof(TextureImage, bpp) == 24 &&
                  offsetof(TextureImage, levels) == 28 && offsetof(TextureImage, levelsize) == 36 &&
                  offsetof(TextureImage, level) == 88,
              "TextureImage keeps its byte offsets");

namespace tl {

Options options = {0, 1, 0, 0, 0};
int32_t g_result = TX_OK;

void setResult(int32_t code) { g_result = code; }
int32_t fail(int32_t code) {
    g_result = code;
    return 0;
}

namespace {

// The record handed out, with what only the module needs behind it.
struct Holder {
    TextureImage image;
    uint8_t* block;  // all level data
    uint64_t magic;
};
const uint64_t kMagic = 0x544c494d41474531ull;

Holder* holderOf(const TextureImage* image) { return (Holder*)image; }


}  // namespace

uint8_t* allocBlock(size_t size) { return (uint8_t*)calloc(1, size ? size : 1); }
void freeBlock(uint8_t* block) { free(block); }

bool isOurs(const TextureImage* image) { return image && holderOf(image)->magic == kMagic; }

TextureImage* newImage(int32_t kind, int32_t levels, const int32_t* sizes) {
    if (levels < 1 || levels > TX_MAX_LEVELS) {
        fail(TX_ERR_ARGUMENT);
        return nullptr;
    }
    size_t total = 0;
    for (int i = 0; i < levels; ++i) total += (size_t)sizes[i];
    Holder* h = (Holder*)calloc(1, sizeof(Holder));
    uint8_t* block = h ? allocBlock(total) : nullptr;
    if (!h || !block) {
        free(h);
        fail(TX_ERR_MEMORY);
        return nullptr;
    }
    h->magic = kMagic;
    h->block = block;
    h->image.kind = kind;
    h->image.levels = levels;
    size_t at = 0;
    for (int i = 0; i < levels; ++i) {
        h->image.levelsize[i] = sizes[i];
        h->image.level[i] = block + at;
        at += (size_t)sizes[i];
    }
    return &h->image;
}

TextureImage* adoptImage(int32_t kind, uint8_t* block, int32_t size) {
    Holder* h = (Holder*)calloc(1, sizeof(Holder));
    if (!h) {
        fail(TX_ERR_MEMORY);
        return nullptr;
    }
    h->magic = kMagic;
    h->block = block;
    h->image.kind = kind;
    h->image.levels = 1;
    h->image.levelsize[0] = size;
    h->image.level[0] = block;
    return &h->image;
}

void freeImage(TextureImage* image) {
    if (!isOurs(image)) return;
    Holder* h = holderOf(image);
    h->magic = 0;
    free(h->block);
    free(h);
}

void replaceBlock(TextureImage* image, uint8_t* block) {
    Holder* h = holderOf(image);
    free(h->block);
    h->block = block;
}

bool sizeAcceptable(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= TX_MAX_SIDE && height <= TX_MAX_SIDE &&
           width * height <= (int64_t)TX_MAX_PIXELS;
}

namespace {

void levelDims(const TextureImage* img, int i, int32_t* w, int32_t* h) {
    *w = std::max(1, img->width >> i);
    *h = std::max(1, img->height >> i);
}

bool isPixelImage(const TextureImage* img) {
    return img->kind != TX_KIND_COMPRESSED && (img->bpp == 8 || img->bpp == 24 || img->bpp == 32);
}

// Rebuilds every level with `newBpp` bits per pixel; `convert` maps one
// source pixel (img->bpp / 8 bytes) to one destination pixel.
template <typename F>
bool convertLevels(TextureImage* img, int32_t newBpp, F convert) {
    int32_t inC = img->bpp / 8, outC = newBpp / 8;
    int32_t sizes[TX_MAX_LEVELS];
    size_t total = 0;
    for (int i = 0; i < img->levels; ++i) {
        int32_t w, h;
        levelDims(img, i, &w, &h);
        sizes[i] = rowPitch(w, outC) * h;
        total += (size_t)sizes[i];
    }
    uint8_t* block = allocBlock(total);
    if (!block) return fail(TX_ERR_MEMORY);
    uint8_t* at = block;
    for (int i = 0; i < img->levels; ++i) {
        int32_t w, h;
        levelDims(img, i, &w, &h);
        int32_t inPitch = rowPitch(w, inC), outPitch = rowPitch(w, outC);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* s = img->level[i] + (size_t)y * inPitch;
            uint8_t* d = at + (size_t)y * outPitch;
            for (int32_t x = 0; x < w; ++x) convert(s + x * inC, d + x * outC);
        }
        img->level[i] = at;
        img->levelsize[i] = sizes[i];
        at += sizes[i];
    }
    replaceBlock(img, block);
    img->bpp = newBpp;
    img->pitch = rowPitch(img->width, outC);
    return true;
}

inline uint8_t luminance(const uint8_t* p) { return (uint8_t)((77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8); }

// Halves a one-level pixel image: each pixel the rounded mean of a 2 x 2
// box (a side already 1 pixel stays 1).
bool halvePixels(TextureImage* img) {
    int32_t c = img->bpp / 8;
    int32_t w = img->width, h = img->height;
    int32_t nw = std::max(1, w / 2), nh = std::max(1, h / 2);
    int32_t inPitch = rowPitch(w, c), outPitch = rowPitch(nw, c);
    uint8_t* block = allocBlock((size_t)outPitch * nh);
    if (!block) return fail(TX_ERR_MEMORY);
    for (int32_t y = 0; y < nh; ++y) {
        const uint8_t* r0 = img->level[0] + (size_t)std::min(2 * y, h - 1) * inPitch;
        const uint8_t* r1 = img->level[0] + (size_t)std::min(2 * y + 1, h - 1) * inPitch;
        uint8_t* d = block + (size_t)y * outPitch;
        for (int32_t x = 0; x < nw; ++x) {
            int32_t x0 = std::min(2 * x, w - 1) * c, x1 = std::min(2 * x + 1, w - 1) * c;
            for (int32_t k = 0; k < c; ++k)
                d[x * c + k] = (uint8_t)((r0[x0 + k] + r0[x1 + k] + r1[x0 + k] + r1[x1 + k] + 2) >> 2);
        }
    }
    replaceBlock(img, block);
    img->width = nw;
    img->height = nh;
    img->pitch = outPitch;
    img->level[0] = block;
    img->levelsize[0] = outPitch * nh;
    return true;
}

// Option 2: an image with several levels loses its largest ones (it keeps
// at least its last); a one-level pixel image is halved; a one-level
// compressed image is left as it is.
bool applyReduce(TextureImage* img) {
    int32_t n = std::min(options.reduce, 16);
    if (n <= 0) return true;
    if (img->levels > 1) {
        int32_t k = std::min(n, img->levels - 1);
        for (int i = 0; i + k < img->levels; ++i) {
            img->level[i] = img->level[i + k];
            img->levelsize[i] = img->levelsize[i + k];
        }
        for (int i = img->levels - k; i < img->levels; ++i) img->level[i] = nullptr, img->levelsize[i] = 0;
        img->levels -= k;
        img->width = std::max(1, img->width >> k);
        img->height = std::max(1, img->height >> k);
        if (img->kind != TX_KIND_COMPRESSED) img->pitch = rowPitch(img->width, img->bpp / 8);
        return true;
    }
    if (img->kind == TX_KIND_COMPRESSED) return true;
    for (int i = 0; i < n && (img->width > 1 || img->height > 1); ++i)
        if (!halvePixels(img)) return false;
    return true;
}

void flipRows(TextureImage* img) {
    int32_t c = img->bpp / 8;
    for (int i = 0; i < img->levels; ++i) {
        int32_t w, h;
        levelDims(img, i, &w, &h);
        int32_t pitch = rowPitch(w, c);
        uint8_t* top = img->level[i];
        uint8_t* bottom = top + (size_t)(h - 1) * pitch;
        for (; top < bottom; top += pitch, bottom -= pitch) std::swap_ranges(top, top + pitch, bottom);
    }
    img->flags ^= TX_FLAG_BOTTOM_FIRST;
}

bool endsWith(const char* name, const char* ext) {
    size_t n = strlen(name), e = strlen(ext);
    if (n < e) return false;
    for (size_t i = 0; i < e; ++i)
        if (tolower((unsigned char)name[n - e + i]) != ext[i]) return false;
    return true;
}

}  // namespace

bool writeWholeFile(const char* fileName, const void* data, size_t size) {
    FILE* f = fopen(fileName, "wb");
    if (!f) return fail(TX_ERR_WRITE);
    bool ok = fwrite(data, 1, size, f) == size;
    ok = (fclose(f) == 0) && ok;
    if (!ok) {
        remove(fileName);
        return fail(TX_ERR_WRITE);
    }
    return true;
}

}  // namespace tl

using namespace tl;

TX_EXPORT int32_t txGetResult(void) { return g_result; }

// 1.0 as major * 256 + minor.
TX_EXPORT int32_t txGetVersion(void) {
    setResult(TX_OK);
    return 0x0100;
}

TX_EXPORT int32_t txInit(int32_t flags) {
    options = Options{0, 1, 0, 0, 0};
    setResult(TX_OK);
    return 1;
}

// Sets an option and returns its previous value; an unknown option
// changes nothing and returns -1.
TX_EXPORT int32_t txOptions(int32_t option, int32_t value) {
    int32_t* slot = nullptr;
    switch (option) {
    case TX_OPTION_REDUCE: slot = &options.reduce; break;
    case TX_OPTION_ROWORDER: slot = &options.rowOrder; break;
    case TX_DXT1: slot = &options.dxt1; break;
    case TX_DXT3: slot = &options.dxt3; break;
    case TX_DXT5: slot = &options.dxt5; break;
    default: fail(TX_ERR_ARGUMENT); return -1;
    }
    int32_t old = *slot;
    *slot = value;
    setResult(TX_OK);
    return old;
}

TX_EXPORT TextureImage* txLoadMemory(const void* data, size_t size) {
    setResult(TX_OK);
    const uint8_t* bytes = (const uint8_t*)data;
    if (!bytes || size == 0) {
        fail(TX_ERR_TRUNCATED);
        return nullptr;
    }
    TextureImage* img = isDds(bytes, size) ? loadDds(bytes, size) : loadStb(bytes, size);
    if (!img) return nullptr;
    if (!applyReduce(img)) {
        freeImage(img);
        return nullptr;
    }
    // Compressed levels are only handed over top row first (the DDS reader
    // decodes when the rows are wanted bottom first).
    if (options.rowOrder == 0 && img->kind != TX_KIND_COMPRESSED) flipRows(img);
    setResult(TX_OK);
    return img;
}

// The file is mapped, not copied: the readers see it as one buffer.
TX_EXPORT TextureImage* txLoad(const char* fileName) {
    if (!fileName || !*fileName) {
        fail(TX_ERR_ARGUMENT);
        return nullptr;
    }
    // The program's rule for every file it reads (filerule.h).
    int fd = vfOpen(fileName);
    long long fileSize = 0;
    VfVerdict verdict = fd >= 0 ? vfCheck(fd, &fileSize) : VF_STAT_FAILED;
    if (verdict != VF_OK) {
        if (fd >= 0) close(fd);
        fail(verdict == VF_TOO_LARGE ? TX_ERR_TOO_LARGE : TX_ERR_OPEN);
        return nullptr;
    }
    size_t size = (size_t)fileSize;
    void* map = size ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0) : nullptr;
    close(fd);
    if (map == MAP_FAILED) {
        fail(TX_ERR_OPEN);
        return nullptr;
    }
    static const uint8_t none = 0;
    TextureImage* img = txLoadMemory(map ? map : &none, size);
    if (map) munmap(map, size);
    return img;
}

TX_EXPORT void txFree(TextureImage** image) {
    if (!image) return (void)fail(TX_ERR_ARGUMENT);
    if (*image && !isOurs(*image)) return (void)fail(TX_ERR_ARGUMENT);
    freeImage(*image);
    *image = nullptr;
    setResult(TX_OK);
}

TX_EXPORT int32_t txGetDepth(const TextureImage* image) {
    if (!isOurs(image)) return fail(TX_ERR_ARGUMENT);
    setResult(TX_OK);
    return image->bpp;
}

TX_EXPORT TextureImage* txDup(const TextureImage* image) {
    if (!isOurs(image)) {
        fail(TX_ERR_ARGUMENT);
        return nullptr;
    }
    TextureImage* copy = newImage(image->kind, image->levels, image->levelsize);
    if (!copy) return nullptr;
    uint8_t* levels[TX_MAX_LEVELS];
    memcpy(levels, copy->level, sizeof levels);
    *copy = *image;
    memcpy(copy->level, levels, sizeof levels);
    for (int i = 0; i < image->levels; ++i) memcpy(copy->level[i], image->level[i], (size_t)image->levelsize[i]);
    setResult(TX_OK);
    return copy;
}

// 24-bit pixels get an opaque alpha channel; a 32-bit image stays as it is.
TX_EXPORT int32_t tx24to32(TextureImage* image) {
    if (!isOurs(image)) return fail(TX_ERR_ARGUMENT);
    if (!isPixelImage(image) || image->bpp == 8) return fail(TX_ERR_UNSUPPORTED);
    if (image->bpp == 24 && !convertLevels(image, 32, [](const uint8_t* s, uint8_t* d) {
            d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
        }))
        return 0;
    image->format = 1;
    setResult(TX_OK);
    return 1;
}

// Colour (24 or 32 bits) to one luminance byte per pixel. Such an image has
// no place in the texture manager, which uploads RGB or RGBA rows only.
TX_EXPORT int32_t tx24to8(TextureImage* image) {
    if (!isOurs(image)) return fail(TX_ERR_ARGUMENT);
    if (!isPixelImage(image) || image->bpp == 8) return fail(TX_ERR_UNSUPPORTED);
    if (!convertLevels(image, 8, [](const uint8_t* s, uint8_t* d) { d[0] = luminance(s); })) return 0;
    image->format = 0;
    setResult(TX_OK);
    return 1;
}

// Alpha from the colour's luminance (for additive and masking layers); a
// 24-bit image becomes 32-bit.
TX_EXPORT int32_t txIntensity(TextureImage* image) {
    if (!isOurs(image)) return fail(TX_ERR_ARGUMENT);
    if (!isPixelImage(image) || image->bpp == 8) return fail(TX_ERR_UNSUPPORTED);
    if (image->bpp == 24) {
        if (!convertLevels(image, 32, [](const uint8_t* s, uint8_t* d) {
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = luminance(s);
            }))
            return 0;
    } else {
        for (int i = 0; i < image->levels; ++i)
            for (int32_t j = 0; j + 3 < image->levelsize[i]; j += 4) image->level[i][j + 3] = luminance(image->level[i] + j);
    }
    image->format = 1;
    setResult(TX_OK);
    return 1;
}

TX_EXPORT int32_t txBGR2RGB(TextureImage* image) {
    if (!isOurs(image)) return fail(TX_ERR_ARGUMENT);
    if (!isPixelImage(image) || image->bpp == 8) return fail(TX_ERR_UNSUPPORTED);
    int32_t c = image->bpp / 8;
    for (int i = 0; i < image->levels; ++i) {
        int32_t w, h;
        levelDims(image, i, &w, &h);
        int32_t pitch = rowPitch(w, c);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* p = image->level[i] + (size_t)y * pitch;
            for (int32_t x = 0; x < w; ++x, p += c) std::swap(p[0], p[2]);
        }
    }
    setResult(TX_OK);
    return 1;
}

TX_EXPORT int32_t txScale(TextureImage* image, int32_t width, int32_t height) {
    if (!isOurs(image) || !sizeAcceptable(width, height)) return fail(TX_ERR_ARGUMENT);
    if (!isPixelImage(image)) return fail(TX_ERR_UNSUPPORTED);
    if (!scaleImage(image, width, height)) return 0;
    setResult(TX_OK);
    return 1;
}

TX_EXPORT const uint8_t* txGetImage(const TextureImage* image, int32_t level) {
    if (!isOurs(image) || level < 0 || level >= image->levels) {
        fail(TX_ERR_ARGUMENT);
        return nullptr;
    }
    setResult(TX_OK);
    return image->level[level];
}

TX_EXPORT int32_t txGetImageSize(const TextureImage* image, int32_t level) {
    if (!isOurs(image) || level < 0 || level >= image->levels) return fail(TX_ERR_ARGUMENT);
    setResult(TX_OK);
    return image->levelsize[level];
}

// The file's extension picks the format: .dds for compressed images; .tga,
// .png, .bmp, .jpg or .jpeg for pixel images (level 0).
TX_EXPORT int32_t txSave(const char* fileName, const TextureImage* image) {
    if (!fileName || !*fileName || !isOurs(image)) return fail(TX_ERR_ARGUMENT);
    bool ok;
    if (endsWith(fileName, ".dds")) {
        if (image->kind != TX_KIND_COMPRESSED) return fail(TX_ERR_UNSUPPORTED);
        ok = saveDds(fileName, image);
    } else if (endsWith(fileName, ".tga") || endsWith(fileName, ".png") || endsWith(fileName, ".bmp") ||
               endsWith(fileName, ".jpg") || endsWith(fileName, ".jpeg")) {
        if (!isPixelImage(image)) return fail(TX_ERR_UNSUPPORTED);
        ok = saveStb(fileName, image);
    } else {
        return fail(TX_ERR_FORMAT);
    }
    if (!ok) return 0;
    setResult(TX_OK);
    return 1;
}
