#include "images.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include "support/support.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

TxTable Tx;

void BindTx() {
    if (!Tx.handle) {
        std::string path = ModuleDir() + "/TL.so";
        Tx.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_TRUE(Tx.handle) << path << ": " << dlerror();
#define TX_TEST_BIND(ret, name, params) Tx.name = (ret(*) params)dlsym(Tx.handle, #name);
        TX_API_LIST(TX_TEST_BIND)
        TX_EXTRA_LIST(TX_TEST_BIND)
#undef TX_TEST_BIND
    }
    Tx.txInit(0);
}

TextureImage* LoadBytes(const std::string& bytes) { return Tx.txLoadMemory(bytes.data(), bytes.size()); }

const uint8_t* PixelAt(const TextureImage* img, int level, int x, int y) {
    int w = std::max(1, img->width >> level);
    int c = img->bpp / 8;
    int pitch = (w * c + 3) & ~3;
    return img->level[level] + (size_t)y * pitch + (size_t)x * c;
}

namespace {

void append(void* ctx, void* data, int size) { ((std::string*)ctx)->append((const char*)data, size); }

std::vector<uint8_t> Channels(int w, int h, int comp, const fx::Rgba& px) {
    std::vector<uint8_t> out;
    for (int i = 0; i < w * h; ++i) {
        const uint8_t* p = &px[(size_t)i * 4];
        if (comp == 1) out.push_back(p[0]);
        else if (comp == 2) out.push_back(p[0]), out.push_back(p[3]);
        else
            for (int k = 0; k < comp; ++k) out.push_back(p[k]);
    }
    return out;
}

void chunk(std::string& s, const char* type, const std::string& data) {
    fx::put32(s, 0);
    uint32_t n = (uint32_t)data.size();
    s[s.size() - 4] = (char)(n >> 24), s[s.size() - 3] = (char)(n >> 16), s[s.size() - 2] = (char)(n >> 8),
                 s[s.size() - 1] = (char)n;
    std::string body = std::string(type, 4) + data;
    s += body;
    uint32_t crc = (uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size());
    s += (char)(crc >> 24), s += (char)(crc >> 16), s += (char)(crc >> 8), s += (char)crc;
}

std::string be32(uint32_t v) { return {(char)(v >> 24), (char)(v >> 16), (char)(v >> 8), (char)v}; }

std::string pngFile(int w, int h, int bitDepth, int colourType, const std::string& raw,
                    const std::vector<std::pair<const char*, std::string>>& extra) {
    std::string s = "\x89PNG\r\n\x1a\n";
    chunk(s, "IHDR", be32(w) + be32(h) + (char)bitDepth + (char)colourType + '\0' + '\0' + '\0');
    for (auto& [type, data] : extra) chunk(s, type, data);
    uLongf size = compressBound(raw.size());
    std::string z(size, '\0');
    compress((Bytef*)z.data(), &size, (const Bytef*)raw.data(), raw.size());
    z.resize(size);
    chunk(s, "IDAT", z);
    chunk(s, "IEND", "");
    return s;
}

}  // namespace

std::string Png(int w, int h, int comp, const fx::Rgba& px) {
    std::string out;
    auto c = Channels(w, h, comp, px);
    stbi_write_png_to_func(append, &out, w, h, comp, c.data(), w * comp);
    return out;
}

std::string Jpeg(int w, int h, int comp, const fx::Rgba& px, int quality) {
    std::string out;
    auto c = Channels(w, h, comp, px);
    stbi_write_jpg_to_func(append, &out, w, h, comp, c.data(), quality);
    return out;
}

std::string Bmp(int w, int h, int comp, const fx::Rgba& px) {
    std::string out;
    auto c = Channels(w, h, comp, px);
    stbi_write_bmp_to_func(append, &out, w, h, comp, c.data());
    return out;
}

std::string PngPalette(int w, int h, const fx::Rgba& palette, const std::vector<uint8_t>& idx, bool alpha) {
    std::string plte, trns, raw;
    for (size_t i = 0; i + 3 < palette.size(); i += 4) {
        plte += (char)palette[i], plte += (char)palette[i + 1], plte += (char)palette[i + 2];
        trns += (char)palette[i + 3];
    }
    for (int y = 0; y < h; ++y) {
        raw += '\0';
        for (int x = 0; x < w; ++x) raw += (char)idx[(size_t)y * w + x];
    }
    std::vector<std::pair<const char*, std::string>> extra = {{"PLTE", plte}};
    if (alpha) extra.push_back({"tRNS", trns});
    return pngFile(w, h, 8, 3, raw, extra);
}

std::string Png16(int w, int h, const fx::Rgba& px) {
    std::string raw;
    for (int y = 0; y < h; ++y) {
        raw += '\0';
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) raw += (char)px[((size_t)y * w + x) * 4 + k], raw += (char)px[((size_t)y * w + x) * 4 + k];
    }
    return pngFile(w, h, 16, 2, raw, {});
}
