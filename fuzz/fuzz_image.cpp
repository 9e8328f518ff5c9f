// Image loader: any bytes, under any options, give an image whose levels
// lie inside their blocks, or null with a result; never a crash.
// The first byte picks the options, the rest is the file.
#include "fuzz_support.h"
// The module's code, linked into the target.
#include "modules/tl/tl.cpp"
#include "modules/tl/tl_dds.cpp"
// The distribution's stb_image 2.27 shifts a zero by 32 bits once a corrupt
// JPEG has run out of bits (stbi__grow_buffer_unsafe with a negative bit
// count; later stb releases stop there): formally undefined, always 0, no
// memory touched (seed image/jpeg_out_of_bits.jpg). Only that check is off,
// and only for the functions of this one file.
#pragma clang attribute push(__attribute__((no_sanitize("shift-exponent"))), apply_to = function)
#include "modules/tl/tl_stb.cpp"
#pragma clang attribute pop

namespace {
void check(bool ok) {
    if (!ok) abort();
}

// Images of more than a million pixels are valid but only slow the search
// down (every byte decoded under the sanitizers): left out. stb_image only
// sees what the loader's own checks let through.
bool huge(const uint8_t* d, size_t n) {
    if (tl::isDds(d, n)) return n >= 20 && (uint64_t)tl::le32(d + 12) * tl::le32(d + 16) > (1u << 20);
    int32_t checked = tl::isPng(d, n)    ? tl::checkPng(d, n)
                      : tl::isJpeg(d, n) ? tl::checkJpeg(d, n)
                      : tl::isBmp(d, n)  ? tl::checkBmp(d, n)
                      : tl::isTga(d, n)  ? tl::checkTga(d, n)
                                         : TX_ERR_FORMAT;
    int w = 0, h = 0, c = 0;
    return checked == TX_OK && n <= 0x7fffffff && stbi_info_from_memory(d, (int)n, &w, &h, &c) &&
           (int64_t)w * h > (1 << 20);
}

// Checks the record, then reads the ends of every level and bytes in
// between, so the sanitizer sees whether the levels lie inside their block.
void checkImage(const TextureImage* img) {
    bool dxt = img->kind == TX_KIND_COMPRESSED;
    check(img->levels >= 1 && img->levels <= TX_MAX_LEVELS);
    check(img->width >= 1 && img->height >= 1 && img->width <= TX_MAX_SIDE && img->height <= TX_MAX_SIDE);
    check(dxt ? img->format == TX_DXT1 || img->format == TX_DXT3 || img->format == TX_DXT5
              : (img->bpp == 24 && img->format == 0) || (img->bpp == 32 && img->format == 1));
    volatile unsigned sum = 0;
    for (int i = 0; i < img->levels; ++i) {
        int32_t w = std::max(1, img->width >> i), h = std::max(1, img->height >> i), n = img->levelsize[i];
        check(n == (dxt ? tl::dxtLevelSize(img->format, w, h) : tl::rowPitch(w, img->bpp / 8) * h));
        for (int32_t k = 0; k < n; k += 61) sum = sum + img->level[i][k];
        if (n > 0) sum = sum + img->level[i][n - 1];
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    if (size < 1 || huge(data + 1, size - 1)) return 0;
    uint8_t o = data[0];
    txInit(0);
    txOptions(TX_DXT1, o & 1);
    txOptions(TX_DXT3, (o >> 1) & 1);
    txOptions(TX_DXT5, (o >> 2) & 1);
    txOptions(TX_OPTION_ROWORDER, (o >> 3) & 1 ? 0 : 1);
    txOptions(TX_OPTION_REDUCE, (o >> 4) & 3);
    TextureImage* img = txLoadMemory(data + 1, size - 1);
    if (!img) return check(txGetResult() != TX_OK), 0;
    checkImage(img);
    if (img->kind != TX_KIND_COMPRESSED && (int64_t)img->width * img->height <= 65536) {
        TextureImage* copy = txDup(img);
        check(copy != nullptr);
        check(tx24to32(copy) == 1 && copy->bpp == 32);
        check(txBGR2RGB(copy) == 1 && txIntensity(copy) == 1);
        checkImage(copy);
        check(tx24to8(copy) == 1 && copy->bpp == 8);
        check(txScale(copy, 3, 5) == 1 && copy->levelsize[0] == 4 * 5);
        txFree(&copy);
        check(copy == nullptr);
    }
    txFree(&img);
    return 0;
}
