// images.h - the real Modules/TL.so bound for the tests, and PNG, JPEG and
// BMP files made with stb_image_write.
#pragma once

#include <string>

#include "fixtures.h"
#include "modules/tl/tl_api.h"

struct TxTable {
    void* handle;
#define TX_TEST_SLOT(ret, name, params) ret(*name) params;
    TX_API_LIST(TX_TEST_SLOT)
    TX_EXTRA_LIST(TX_TEST_SLOT)
#undef TX_TEST_SLOT
};
extern TxTable Tx;

// Opens the built module once; every test starts from txInit(0).
void BindTx();

// Loads bytes through txLoadMemory.
TextureImage* LoadBytes(const std::string& bytes);

// Pixel (x, y) of a level of an uncompressed image.
const uint8_t* PixelAt(const TextureImage* img, int level, int x, int y);

// comp 1 (grey from red), 2 (grey, alpha), 3 (RGB), 4 (RGBA).
std::string Png(int w, int h, int comp, const fx::Rgba& px);
std::string Jpeg(int w, int h, int comp, const fx::Rgba& px, int quality = 100);
std::string Bmp(int w, int h, int comp, const fx::Rgba& px);
// A colour-mapped PNG (bit depth 8); with alpha, a tRNS chunk gives entry
// i the alpha of palette[i].
std::string PngPalette(int w, int h, const fx::Rgba& palette, const std::vector<uint8_t>& idx, bool alpha);
// A 16-bit-per-channel RGB PNG, each channel value v stored as v * 257.
std::string Png16(int w, int h, const fx::Rgba& px);
