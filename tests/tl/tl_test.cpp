// The texture-loader module (Modules/TL.so) as the program binds it: the
// readers, the DDS levels, the options and operations, and `velmar image`.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "fixtures.h"
#include "modules/tl/tl_api.h"
#include "support/support.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

#define TX_TEST_SLOT(ret, name, params) ret(*name) params;
struct {
    TX_API_LIST(TX_TEST_SLOT) TX_EXTRA_LIST(TX_TEST_SLOT)
} Tx;

struct Tl : ::testing::Test {
    void SetUp() override {
        static void* module = dlopen((ModuleDir() + "/TL.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_TRUE(module) << dlerror();
#define TX_TEST_BIND(ret, name, params) Tx.name = (ret(*) params)dlsym(module, #name);
        TX_API_LIST(TX_TEST_BIND) TX_EXTRA_LIST(TX_TEST_BIND)
        Tx.txInit(0);
    }
};
struct TlReaders : Tl {};
struct TlDds : Tl {};
struct TlOperations : Tl {};

// Images given back to the module when they go.
using Image = std::unique_ptr<TextureImage, decltype([](TextureImage* img) { Tx.txFree(&img); })>;
Image Load(const std::string& bytes) { return Image(Tx.txLoadMemory(bytes.data(), bytes.size())); }
Image LoadFile(const std::string& path) { return Image(Tx.txLoad(path.c_str())); }

// "kind source WxH bpp format levels flags pitch size0" of an image.
std::string Describe(const Image& i) {
    char b[128] = "no image";
    if (i) snprintf(b, sizeof b, "%d %d %dx%d %d %d %d %d %d %d", i->kind, i->source, i->width, i->height, i->bpp,
                    i->format, i->levels, i->flags, i->pitch, i->levelsize[0]);
    return b;
}
std::string Level(const Image& img, int l) { return img ? std::string((char*)img->level[l], img->levelsize[l]) : "none"; }
// A call's return value * 100 + the result it leaves.
int Outcome(int returned) { return returned * 100 + Tx.txGetResult(); }
std::string With(std::string s, size_t at, const std::string& bytes) { return s.replace(at, bytes.size(), bytes); }
// Whether the first n bytes of a file load, from a buffer of exactly that size (none reads past its end).
bool LoadsCut(const std::string& file, size_t n) {
    std::vector<char> cut(file.begin(), file.begin() + n);
    return Image(Tx.txLoadMemory(cut.data(), n)) != nullptr;
}
// Pixels as the loader lays them out: `comp` (3 or 4) bytes each, rows
// padded to 4 bytes; `grey` takes red for all three colours.
std::string Rows(const fx::Rgba& px, int w, int h, int comp, bool grey = false) {
    std::string s;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < comp; ++k) s += (char)px[((size_t)y * w + x) * 4 + (grey && k < 3 ? 0 : k)];
        s.resize((s.size() + 3) & ~(size_t)3, '\0');
    }
    return s;
}

// A PNG, JPEG (quality 100) or BMP from stb_image_write; comp 1 is grey
// from red, 2 grey and alpha, 3 RGB, 4 RGBA.
std::string Stb(char kind, int w, int h, int comp, const fx::Rgba& px) {
    std::vector<uint8_t> c;
    for (int i = 0; i < w * h; ++i)
        for (int k = 0; k < comp; ++k) c.push_back(px[(size_t)i * 4 + (comp == 2 && k == 1 ? 3 : k)]);
    std::string out;
    auto put = [](void* ctx, void* data, int size) { ((std::string*)ctx)->append((const char*)data, size); };
    if (kind == 'p') stbi_write_png_to_func(put, &out, w, h, comp, c.data(), w * comp);
    if (kind == 'j') stbi_write_jpg_to_func(put, &out, w, h, comp, c.data(), 100);
    if (kind == 'b') stbi_write_bmp_to_func(put, &out, w, h, comp, c.data());
    return out;
}

// 7 x 3 (RGB rows of 21 bytes pad to 24), pixels 4 to 8 equal: a run across the end of the first row.
fx::Rgba Picture() {
    fx::Rgba px = fx::Pattern(7, 3);
    for (int i = 5; i <= 8; ++i) std::copy(px.begin() + 16, px.begin() + 20, px.begin() + 4 * i);
    return px;
}

const uint16_t kRed = fx::Rgb565(255, 0, 0), kBlue = fx::Rgb565(0, 0, 255);

// Guards truncated images too: stb_image fills missing bytes with zeros, so each reader's own check
// refuses a file cut short anywhere.
TEST_F(TlReaders, EveryLayoutComesOutTopRowFirstInRgbOrderAndEveryTruncationIsRefused) {
    fx::Rgba px = Picture();
    std::vector<std::tuple<std::string, std::string, int, int, bool, int>> cases = {  // source, comp, grey, tolerance
        {"grey tga", fx::Tga(7, 3, 8, px), TX_SOURCE_TGA, 3, true, 0},
        {"mapped tga", fx::Tga(7, 3, 24, px, false, false, true), TX_SOURCE_TGA, 3, false, 0},
        {"grey and alpha png", Stb('p', 7, 3, 2, px), TX_SOURCE_PNG, 4, true, 0},
        {"rgb png", Stb('p', 7, 3, 3, px), TX_SOURCE_PNG, 3, false, 0},
        {"rgba png", Stb('p', 7, 3, 4, px), TX_SOURCE_PNG, 4, false, 0},
        {"bmp", Stb('b', 7, 3, 3, px), TX_SOURCE_BMP, 3, false, 0},
        {"jpeg", Stb('j', 7, 3, 3, px), TX_SOURCE_JPEG, 3, false, 4},
    };
    for (int layout = 0; layout < 8; ++layout)  // top row first, run-length coded, 32 bits
        cases.push_back({"tga " + std::to_string(layout), fx::Tga(7, 3, layout & 4 ? 32 : 24, px, layout & 1, layout & 2),
                         TX_SOURCE_TGA, layout & 4 ? 4 : 3, false, 0});
    for (auto& [name, file, source, comp, grey, tolerance] : cases) {
        Image img = Load(file);
        std::string want = Rows(px, 7, 3, comp, grey), got = Level(img, 0);
        EXPECT_EQ(Describe(img), "1 " + std::to_string(source) + " 7x3 " + std::to_string(comp * 8) + " " +
                                     std::to_string(comp == 4) + " 1 0 " + std::to_string(want.size() / 3) + " " +
                                     std::to_string(want.size()))
            << name;
        for (size_t i = 0; i < want.size() && i < got.size(); ++i)
            ASSERT_NEAR((uint8_t)got[i], (uint8_t)want[i], tolerance) << name << " byte " << i;
        for (size_t n = 0; n < file.size(); ++n) EXPECT_FALSE(LoadsCut(file, n)) << name << " cut to " << n;
    }
}

TEST_F(TlReaders, WhatIsNoImageOrPromisesTooMuchIsRefusedWithItsResult) {
    fx::Rgba px = fx::Pattern(8, 8);
    std::string tga = fx::Tga(2, 2, 24, px), jpeg = Stb('j', 8, 8, 3, px), block(8, 'b');
    std::tuple<const char*, std::string, int> cases[] = {
        {"text", "hello, world, this is text and no image at all", TX_ERR_FORMAT},
        {"nothing", "", TX_ERR_TRUNCATED},
        {"tga of 7 bits", With(tga, 16, "\x07"), TX_ERR_FORMAT},
        {"tga 65535 x 65535", With(tga, 12, "\xff\xff\xff\xff"), TX_ERR_TOO_LARGE},
        {"bmp of height INT_MIN", With(Stb('b', 2, 2, 3, px), 22, std::string("\0\0\0\x80", 4)), TX_ERR_TOO_LARGE},
        {"png 2^30 wide", With(Stb('p', 2, 2, 3, px), 16, "\x7f"), TX_ERR_MALFORMED},
        {"jpeg without its end marker", jpeg.substr(0, jpeg.size() - 2), TX_ERR_TRUNCATED},
        {"dds DXT2", fx::Dds("DXT2", 4, 4, 1, block + block), TX_ERR_FORMAT},
        {"dds cube map", fx::Dds("DXT1", 4, 4, 1, block, 0x200), TX_ERR_FORMAT},
        {"dds 0 wide", fx::Dds("DXT1", 0, 4, 1, block), TX_ERR_MALFORMED},
        {"dds header of 100 bytes", With(fx::Dds("DXT1", 4, 4, 1, block), 4, "\x64"), TX_ERR_MALFORMED},
        {"dds one pixel too many", fx::Dds("DXT1", 16384, 4097, 1, block), TX_ERR_TOO_LARGE},
        {"dds of the most pixels, cut short", fx::Dds("DXT1", 16384, 4096, 1, block), TX_ERR_TRUNCATED},
        {"dds 4 levels with the data of 3", fx::Dds("DXT1", 8, 6, 4, std::string(8 * 6, 'a')), TX_ERR_TRUNCATED},
    };
    for (auto& [name, file, result] : cases) {
        EXPECT_FALSE(Load(file)) << name;
        EXPECT_EQ(Tx.txGetResult(), result) << name;
    }
}

// Guards JPEG Huffman tables over 256 codes: stb_image would build its
// tables past their end, so the loader refuses the file first.
TEST_F(TlReaders, JpegHuffmanTablesBeyondTheFormatsLimitAreRefused) {
    std::string jpeg = Stb('j', 8, 8, 3, fx::Pattern(8, 8));
    size_t dht = jpeg.find("\xff\xc4");
    ASSERT_NE(dht, std::string::npos);
    for (int i = 0; i < 16; ++i) jpeg[dht + 5 + i] = (char)20;  // 320 codes
    EXPECT_FALSE(Load(jpeg));
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_MALFORMED);
}

// Guards the one file rule: a named pipe is no file (and never waited on),
// a file above 1 GiB is too large.
TEST_F(TlReaders, TxLoadReadsFilesAndReportsMissingOnes) {
    std::string dir = MakeTempDir("tl");
    WriteFile(dir + "/a.tga", fx::Tga(4, 4, 32, fx::Pattern(4, 4)));
    EXPECT_EQ(Level(LoadFile(dir + "/a.tga"), 0), Rows(fx::Pattern(4, 4), 4, 4, 4));
    WriteFile(dir + "/empty.tga", "");
    WriteFile(dir + "/huge.tga", "");
    ASSERT_EQ(truncate((dir + "/huge.tga").c_str(), (1LL << 30) + 1), 0);
    mkfifo((dir + "/pipe.tga").c_str(), 0644);
    std::pair<std::string, int> refused[] = {{"/missing.tga", TX_ERR_OPEN}, {"", TX_ERR_OPEN},  // a folder
                                             {"/empty.tga", TX_ERR_TRUNCATED}, {"/pipe.tga", TX_ERR_OPEN},
                                             {"/huge.tga", TX_ERR_TOO_LARGE}};
    for (auto& [name, result] : refused) {
        EXPECT_FALSE(LoadFile(dir + name)) << name;
        EXPECT_EQ(Tx.txGetResult(), result) << name;
    }
    RemoveTree(dir);
}

TEST_F(TlDds, BlocksDecodeToTheirPalettesAndAlpha) {
    // Every row takes colours 0, 1, 2, 3; texel t takes DXT3 alpha t and DXT5 alpha index t % 8.
    std::string redBlue = fx::ColourBlock(kRed, kBlue, 0xe4e4e4e4), blueRed = fx::ColourBlock(kBlue, kRed, 0xe4e4e4e4);
    std::string dxt3Alpha, dxt5Indexes;
    uint64_t bits = 0;
    for (int t = 0; t < 16; ++t) bits |= (uint64_t)(t % 8) << (3 * t);
    for (int k = 0; k < 8; ++k) dxt3Alpha += (char)(2 * k | (2 * k + 1) << 4), dxt5Indexes += (char)(bits >> (8 * k));
    dxt5Indexes.resize(6);
    using Pal = std::vector<std::vector<int>>;
    Pal redFirst = {{255, 0, 0}, {0, 0, 255}, {170, 0, 85}, {85, 0, 170}};
    std::tuple<const char*, std::string, Pal, std::vector<int>> cases[] = {  // texel t has alpha[t % size]
        {"DXT1 first colour above", fx::Dds("DXT1", 4, 4, 1, redBlue), redFirst, {}},
        // Not above: three colours and black, also for equal colours.
        {"DXT1 first colour below", fx::Dds("DXT1", 4, 4, 1, blueRed), {{0, 0, 255}, {255, 0, 0}, {128, 0, 128}, {0, 0, 0}},
         {}},
        {"DXT1 equal colours", fx::Dds("DXT1", 4, 4, 1, fx::ColourBlock(kRed, kRed, 0xe4e4e4e4)),
         {{255, 0, 0}, {255, 0, 0}, {255, 0, 0}, {0, 0, 0}}, {}},
        // DXT3 and DXT5 have four colours whatever the order of the two.
        {"DXT3", fx::Dds("DXT3", 4, 4, 1, dxt3Alpha + blueRed), {{0, 0, 255}, {255, 0, 0}, {85, 0, 170}, {170, 0, 85}},
         {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255}},
        {"DXT5 eight steps", fx::Dds("DXT5", 4, 4, 1, "\xff" + std::string(1, 0) + dxt5Indexes + redBlue), redFirst,
         {255, 0, 219, 182, 146, 109, 73, 36}},
        {"DXT5 six steps", fx::Dds("DXT5", 4, 4, 1, std::string(1, 0) + "\xff" + dxt5Indexes + redBlue), redFirst,
         {0, 255, 51, 102, 153, 204, 0, 255}},
    };
    for (auto& [name, file, pal, alpha] : cases) {
        std::string want;
        for (int t = 0; t < 16; ++t) {
            for (int k = 0; k < 3; ++k) want += (char)pal[t % 4][k];
            if (!alpha.empty()) want += (char)alpha[t % alpha.size()];
        }
        Image img = Load(file);
        EXPECT_EQ(Describe(img), alpha.empty() ? "1 5 4x4 24 0 1 0 12 48" : "1 5 4x4 32 1 1 0 16 64") << name;
        EXPECT_EQ(Level(img, 0), want) << name;
    }
}

// An 8 x 6 DXT5 texture with its chain 8x6, 4x3, 2x1, 1x1, each level one
// colour, so each decoded level can be told apart.
TEST_F(TlDds, MipLevelsKeepTheirSizesAndAreKeptToTheChain) {
    const uint8_t colour[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    std::string data;
    for (int l = 0; l < 4; ++l) {
        uint16_t c = fx::Rgb565(colour[l][0], colour[l][1], colour[l][2]);
        for (int b = 0; b < (l ? 1 : 4); ++b) data += std::string("\xff\xff\0\0\0\0\0\0", 8) + fx::ColourBlock(c, c, 0);
    }
    Tx.txOptions(TX_DXT5, 1);
    Image img = Load(fx::Dds("DXT5", 8, 6, 4, data));
    EXPECT_EQ(Describe(img), "5 5 8x6 32 33779 4 0 0 64");
    for (int l = 0; l < 4; ++l) EXPECT_EQ(Level(img, l), data.substr(l ? 48 + 16 * l : 0, l ? 16 : 64)) << l;
    Tx.txOptions(TX_DXT5, 0);
    img = Load(fx::Dds("DXT5", 8, 6, 9, data));  // 9 announced, 4 in the chain
    EXPECT_EQ(Describe(img), "1 5 8x6 32 1 4 0 32 192");
    for (int l = 0; l < 4; ++l) {
        fx::Rgba solid;
        int w = 8 >> l, h = std::max(1, 6 >> l);
        for (int i = 0; i < w * h; ++i)
            solid.insert(solid.end(), {colour[l][0], colour[l][1], colour[l][2], 255});
        EXPECT_EQ(Level(img, l), Rows(solid, w, h, 4)) << l;
    }
    // A count without the flag that announces it is one level; cut short anywhere, the file is refused.
    EXPECT_EQ(Describe(Load(With(fx::Dds("DXT5", 8, 6, 1, data), 28, "\x04"))), "1 5 8x6 32 1 1 0 32 192");
    std::string dxt3 = fx::Dds("DXT3", 8, 6, 4, data);
    for (size_t n = 0; n < dxt3.size(); ++n) EXPECT_FALSE(LoadsCut(dxt3, n)) << "cut to " << n;
    // Halving a chain drops its largest levels, but never the last.
    Tx.txOptions(TX_OPTION_REDUCE, 1);
    Tx.txOptions(TX_DXT5, 1);
    img = Load(fx::Dds("DXT5", 8, 6, 4, data));
    EXPECT_EQ(Describe(img) + " " + Level(img, 0) + Level(img, 1) + Level(img, 2),
              "5 5 4x3 32 33779 3 0 0 16 " + data.substr(64));
    EXPECT_EQ(img->level[3], nullptr);
    Tx.txOptions(TX_OPTION_REDUCE, 5);
    Tx.txOptions(TX_DXT5, 0);
    img = Load(fx::Dds("DXT5", 8, 6, 4, data));
    EXPECT_EQ(Describe(img) + " " + Level(img, 0), "1 5 1x1 32 1 1 0 4 4 \xff\xff\xff\xff");
}

TEST_F(TlOperations, ReduceHalvesImagesWithARoundedBoxFilter) {
    fx::Rgba px = fx::Pattern(4, 3);
    px[0] = 3;  // the first box's red sums to 26: a rounded mean of 7
    Tx.txOptions(TX_OPTION_REDUCE, 1);
    EXPECT_EQ(Describe(Load(fx::Tga(4, 3, 24, px))) + Level(Load(fx::Tga(4, 3, 24, px)), 0),
              std::string("1 1 2x1 24 0 1 0 8 8\x07\x0c\x04\x1a\x0c\x06\0\0", 28));
    EXPECT_EQ(Tx.txOptions(TX_OPTION_REDUCE, 9), 1);  // the old value; halving stops at one pixel
    EXPECT_EQ(Describe(Load(fx::Tga(4, 3, 32, px))), "1 1 1x1 32 1 1 0 4 4");
}

TEST_F(TlOperations, RowOrderZeroGivesBottomRowFirstAndDecodesCompressedImages) {
    fx::Rgba px = fx::Pattern(3, 4), flipped;
    for (int y = 3; y >= 0; --y) flipped.insert(flipped.end(), px.begin() + y * 12, px.begin() + y * 12 + 12);
    EXPECT_EQ(Tx.txOptions(TX_OPTION_ROWORDER, 0), 1);  // top row first until told otherwise
    Image img = Load(fx::Tga(3, 4, 24, px, true));
    EXPECT_EQ(img->flags, TX_FLAG_BOTTOM_FIRST);
    EXPECT_EQ(Level(img, 0), Rows(flipped, 3, 4, 3));
    Tx.txOptions(TX_DXT1, 1);
    img = Load(fx::Dds("DXT1", 4, 4, 1, fx::ColourBlock(kRed, kBlue, 0x55555500)));  // the top row red, the rest blue
    EXPECT_EQ(Level(img, 0).substr(0, 3) + Level(img, 0).substr(36, 3), std::string("\0\0\xff\xff\0\0", 6));
}

TEST_F(TlOperations, ConversionsRebuildEveryLevelOfPixelImagesOnly) {
    Image img = Load(fx::Tga(3, 2, 24, fx::Pattern(3, 2))), copy(Tx.txDup(img.get()));
    EXPECT_TRUE(copy->level[0] != img->level[0] && Level(copy, 0) == Level(img, 0));
    ASSERT_EQ(Tx.tx24to32(img.get()) + Tx.txBGR2RGB(img.get()), 2);
    EXPECT_EQ(Describe(img) + Level(img, 0).substr(20), "1 1 3x2 32 1 1 0 12 24\x06\x16\x15\xff");  // pixel (2, 1) opaque
    // Alpha from luminance: pixel (1, 1) is (11, 22, 5).
    const char lum = (char)((77 * 11 + 150 * 22 + 29 * 5 + 128) >> 8);
    ASSERT_EQ(Tx.txIntensity(copy.get()), 1);
    EXPECT_EQ(Level(copy, 0).substr(16, 4), std::string("\x0b\x16\x05") + lum);
    ASSERT_EQ(Tx.tx24to8(copy.get()), 1);
    EXPECT_EQ(Describe(copy) + Level(copy, 0)[5], std::string("1 1 3x2 8 0 1 0 4 8") + lum);
    EXPECT_EQ(Outcome(Tx.tx24to32(copy.get())), TX_ERR_UNSUPPORTED);  // nothing to widen from one channel
    EXPECT_EQ(Outcome(Tx.txGetImage(img.get(), 1) != nullptr), TX_ERR_ARGUMENT);  // a level the image has not
    Tx.txOptions(TX_DXT1, 1);  // compressed levels are no pixels to convert
    EXPECT_EQ(Outcome(Tx.tx24to32(Load(fx::Dds("DXT1", 4, 4, 1, fx::ColourBlock(1, 2, 3))).get())), TX_ERR_UNSUPPORTED);
}

TEST_F(TlOperations, SavedImagesLoadBackTheSame) {
    std::string dir = MakeTempDir("tlsave");
    fx::Rgba px = fx::Pattern(5, 3);
    Image img = Load(fx::Tga(5, 3, 32, px));
    for (const char* ext : {".tga", ".png", ".bmp", ".TGA"}) {
        ASSERT_EQ(Tx.txSave((dir + "/out" + ext).c_str(), img.get()), 1) << ext;
        Image back = LoadFile(dir + "/out" + ext);
        EXPECT_EQ(Describe(back).substr(4) + Level(back, 0), Describe(img).substr(4) + Level(img, 0)) << ext;
    }
    std::pair<const char*, int> refused[] = {{"/out.dds", TX_ERR_UNSUPPORTED}, {"/out.xyz", TX_ERR_FORMAT},
                                             {"/no/dir.tga", TX_ERR_WRITE}};
    for (auto [name, result] : refused) EXPECT_EQ(Outcome(Tx.txSave((dir + name).c_str(), img.get())), result) << name;
    // A bottom-first image is saved upright.
    Tx.txOptions(TX_OPTION_ROWORDER, 0);
    ASSERT_EQ(Tx.txSave((dir + "/flip.png").c_str(), Load(fx::Tga(5, 3, 24, px)).get()), 1);
    Tx.txOptions(TX_OPTION_ROWORDER, 1);
    EXPECT_EQ(Level(LoadFile(dir + "/flip.png"), 0), Rows(px, 5, 3, 3));
    // Compressed levels go into a DDS file as they are, width and height in their places.
    std::string data = fx::ColourBlock(1, 2, 3) + fx::ColourBlock(4, 5, 6) + fx::ColourBlock(7, 8, 9);  // 8x4, 4x2
    Tx.txOptions(TX_DXT1, 1);
    img = Load(fx::Dds("DXT1", 8, 4, 2, data));
    ASSERT_EQ(Tx.txSave((dir + "/out.dds").c_str(), img.get()), 1);
    EXPECT_EQ(Tx.txSave((dir + "/out.png").c_str(), img.get()), 0);  // no pixels
    img = LoadFile(dir + "/out.dds");
    EXPECT_EQ(Describe(img) + " " + Level(img, 0) + Level(img, 1), "5 5 8x4 24 33776 2 0 0 16 " + data);
    RemoveTree(dir);
}

TEST(VelmarImage, PrintsTheRecordOrRefusesInOneLineWithCodeTwo) {
    std::string d = MakeTempDir("velmar-image"), tga = fx::Tga(4, 4, 24, fx::Pattern(4, 4));
    WriteFile(d + "/a.dds", fx::Dds("DXT5", 4, 4, 3, std::string(48, '\x11')));  // 4x4, 2x2, 1x1
    WriteFile(d + "/b.dds", fx::Dds("DXT3", 4, 4, 1, std::string(16, '\x11')));
    WriteFile(d + "/cut.tga", tga.substr(0, tga.size() - 1));
    auto run = [&](std::vector<std::string> args) {  // exit code, output and errors
        args.insert(args.begin(), {ShowDir() + "/velmar", "image"});
        RunResult r = RunProgram(args);
        return std::to_string(r.code) + " " + r.out + r.err;
    };
    EXPECT_EQ(run({"--reduce", "1", d + "/a.dds", "--dxt"}),
              "0 {\"kind\":5,\"format\":33779,\"width\":2,\"height\":2,\"bpp\":32,\"levels\":2}\n");
    // DXT3 handed over as it is has no pixels to save.
    EXPECT_EQ(run({d + "/b.dds", "--dxt", "--save", d + "/b.png"}),
              "2 velmar image: cannot save " + d + "/b.png: not possible for this kind of image\n");
    EXPECT_EQ(run({d + "/cut.tga"}), "2 velmar image: cannot load " + d + "/cut.tga: the file ends before its image data\n");
    RemoveTree(d);
}

}  // namespace
