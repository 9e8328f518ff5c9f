// DDS files: DXT1, DXT3 and DXT5 levels handed over or decoded.
#include <gtest/gtest.h>

#include "images.h"

namespace {

struct TlDds : ::testing::Test {
    void SetUp() override { BindTx(); }
};

using fx::ColourBlock;
using fx::Rgb565;

const uint16_t kRed = Rgb565(255, 0, 0), kBlue = Rgb565(0, 0, 255);

// Indexes of the 16 texels, row by row.
uint32_t Indexes(std::initializer_list<int> idx) {
    uint32_t v = 0;
    int i = 0;
    for (int k : idx) v |= (uint32_t)k << (2 * i++);
    return v;
}

void ExpectRgba(const uint8_t* p, int r, int g, int b, int a, int channels) {
    EXPECT_EQ(p[0], r);
    EXPECT_EQ(p[1], g);
    EXPECT_EQ(p[2], b);
    if (channels == 4) {
        EXPECT_EQ(p[3], a);
    }
}

TEST_F(TlDds, Dxt1DecodesToRgbOrIsHandedOverAsItIs) {
    std::string block = ColourBlock(kRed, kBlue, Indexes({0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    std::string file = fx::Dds("DXT1", 4, 4, 1, block);

    TextureImage* img = LoadBytes(file);
    ASSERT_TRUE(img) << txResultText(Tx.txGetResult());
    EXPECT_EQ(img->kind, TX_KIND_PIXELS);
    EXPECT_EQ(img->source, TX_SOURCE_DDS);
    EXPECT_EQ(img->bpp, 24);
    EXPECT_EQ(img->format, 0);
    EXPECT_EQ(img->levels, 1);
    ExpectRgba(PixelAt(img, 0, 0, 0), 255, 0, 0, 0, 3);
    ExpectRgba(PixelAt(img, 0, 1, 0), 0, 0, 255, 0, 3);
    ExpectRgba(PixelAt(img, 0, 2, 0), 170, 0, 85, 0, 3);  // two thirds red
    ExpectRgba(PixelAt(img, 0, 3, 0), 85, 0, 170, 0, 3);
    ExpectRgba(PixelAt(img, 0, 3, 3), 0, 0, 255, 0, 3);
    Tx.txFree(&img);

    Tx.txOptions(TX_DXT1, 1);
    img = LoadBytes(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->kind, TX_KIND_COMPRESSED);
    EXPECT_EQ(img->format, TX_DXT1);
    EXPECT_EQ(img->bpp, 24);
    EXPECT_EQ(img->levels, 1);
    EXPECT_EQ(img->levelsize[0], 8);
    EXPECT_EQ(std::string((const char*)img->level[0], 8), block);
    Tx.txFree(&img);

    // The option of another format does not hand DXT1 over.
    Tx.txOptions(TX_DXT1, 0);
    Tx.txOptions(TX_DXT5, 1);
    img = LoadBytes(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->kind, TX_KIND_PIXELS);
    Tx.txFree(&img);
}

TEST_F(TlDds, Dxt1ThreeColourModeHasAverageAndBlack) {
    // First colour not above the second: three colours and black.
    std::string block = ColourBlock(kBlue, kRed, Indexes({0, 1, 2, 3}));
    TextureImage* img = LoadBytes(fx::Dds("DXT1", 4, 4, 1, block));
    ASSERT_TRUE(img);
    ExpectRgba(PixelAt(img, 0, 2, 0), 128, 0, 128, 0, 3);
    ExpectRgba(PixelAt(img, 0, 3, 0), 0, 0, 0, 0, 3);
    Tx.txFree(&img);
}

TEST_F(TlDds, Dxt3AlphaIsFourBitsPerTexel) {
    std::string alpha;
    for (int i = 0; i < 8; ++i) alpha += (char)(i * 2 | (i * 2 + 1) << 4);  // texel t has alpha t
    // Four colours whatever the order of the two: index 3 is no black.
    std::string block = alpha + ColourBlock(kBlue, kRed, Indexes({0, 3}));
    TextureImage* img = LoadBytes(fx::Dds("DXT3", 4, 4, 1, block));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 32);
    EXPECT_EQ(img->format, 1);
    for (int t = 0; t < 16; ++t) EXPECT_EQ(PixelAt(img, 0, t % 4, t / 4)[3], t * 17) << t;
    ExpectRgba(PixelAt(img, 0, 0, 0), 0, 0, 255, 0, 3);
    ExpectRgba(PixelAt(img, 0, 1, 0), 170, 0, 85, 0, 3);
    Tx.txFree(&img);
}

TEST_F(TlDds, Dxt5AlphaInterpolatesEightOrSixSteps) {
    // Texel t takes alpha index t % 8.
    uint64_t bits = 0;
    for (int t = 0; t < 16; ++t) bits |= (uint64_t)(t % 8) << (3 * t);
    std::string idx;
    for (int k = 0; k < 6; ++k) idx += (char)(bits >> (8 * k));
    std::string colour = ColourBlock(kRed, kRed, 0);

    TextureImage* img = LoadBytes(fx::Dds("DXT5", 4, 4, 1, std::string("\xff\x00", 2) + idx + colour));
    ASSERT_TRUE(img);
    const int eight[8] = {255, 0, 219, 182, 146, 109, 73, 36};
    for (int t = 0; t < 8; ++t) EXPECT_EQ(PixelAt(img, 0, t % 4, t / 4)[3], eight[t]) << t;
    Tx.txFree(&img);

    img = LoadBytes(fx::Dds("DXT5", 4, 4, 1, std::string("\x00\xff", 2) + idx + colour));
    ASSERT_TRUE(img);
    const int six[8] = {0, 255, 51, 102, 153, 204, 0, 255};
    for (int t = 0; t < 8; ++t) EXPECT_EQ(PixelAt(img, 0, t % 4, t / 4)[3], six[t]) << t;
    Tx.txFree(&img);
}

// An 8 x 6 DXT5 texture with its chain 8x6, 4x3, 2x1, 1x1: each level one
// colour, so each decoded level can be told apart.
std::string Chain(int levels) {
    std::string data;
    const int colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    const int blocks[4] = {4, 1, 1, 1};
    for (int l = 0; l < levels; ++l)
        for (int b = 0; b < blocks[l]; ++b) {
            uint16_t c = Rgb565(colours[l][0], colours[l][1], colours[l][2]);
            data += std::string("\xff\xff\0\0\0\0\0\0", 8) + ColourBlock(c, c, 0);
        }
    return data;
}

TEST_F(TlDds, MipLevelsKeepTheirSizes) {
    std::string file = fx::Dds("DXT5", 8, 6, 4, Chain(4));
    Tx.txOptions(TX_DXT5, 1);
    TextureImage* img = LoadBytes(file);
    ASSERT_TRUE(img) << txResultText(Tx.txGetResult());
    EXPECT_EQ(img->kind, TX_KIND_COMPRESSED);
    EXPECT_EQ(img->format, TX_DXT5);
    EXPECT_EQ(img->width, 8);
    EXPECT_EQ(img->height, 6);
    EXPECT_EQ(img->bpp, 32);
    ASSERT_EQ(img->levels, 4);
    EXPECT_EQ(img->levelsize[0], 64);
    EXPECT_EQ(img->levelsize[1], 16);
    EXPECT_EQ(img->levelsize[2], 16);
    EXPECT_EQ(img->levelsize[3], 16);
    EXPECT_EQ(img->level[1] - img->level[0], 64);
    Tx.txFree(&img);

    Tx.txOptions(TX_DXT5, 0);
    img = LoadBytes(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->kind, TX_KIND_PIXELS);
    ASSERT_EQ(img->levels, 4);
    EXPECT_EQ(img->levelsize[0], 8 * 4 * 6);
    EXPECT_EQ(img->levelsize[1], 4 * 4 * 3);
    EXPECT_EQ(img->levelsize[2], 2 * 4 * 1);
    EXPECT_EQ(img->levelsize[3], 4);
    ExpectRgba(PixelAt(img, 0, 7, 5), 255, 0, 0, 255, 4);
    ExpectRgba(PixelAt(img, 1, 3, 2), 0, 255, 0, 255, 4);
    ExpectRgba(PixelAt(img, 2, 1, 0), 0, 0, 255, 255, 4);
    ExpectRgba(PixelAt(img, 3, 0, 0), 255, 255, 255, 255, 4);
    Tx.txFree(&img);
}

TEST_F(TlDds, LevelCountsAreKeptToTheChainAndTheData) {
    // Announcing 9 levels where the chain has 4: 4 are read.
    TextureImage* img = LoadBytes(fx::Dds("DXT5", 8, 6, 9, Chain(4)));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->levels, 4);
    Tx.txFree(&img);
    // A count without the flag that announces it is one level.
    std::string noFlag = fx::Dds("DXT5", 8, 6, 1, Chain(4));
    noFlag[28] = 4;
    img = LoadBytes(noFlag);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->levels, 1);
    Tx.txFree(&img);
    // Announcing 4 with the data of 3: cut short.
    EXPECT_EQ(LoadBytes(fx::Dds("DXT5", 8, 6, 4, Chain(3))), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_TRUNCATED);
}

TEST_F(TlDds, WhatTheReaderDoesNotTakeIsRefused) {
    std::string block = ColourBlock(kRed, kBlue, 0);
    EXPECT_EQ(LoadBytes(fx::Dds("DXT2", 4, 4, 1, block + block)), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_FORMAT);
    EXPECT_EQ(LoadBytes(fx::Dds("DXT1", 4, 4, 1, block, 0x200)), nullptr);  // cube map
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_FORMAT);
    EXPECT_EQ(LoadBytes(fx::Dds("DXT1", 0, 4, 1, block)), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_MALFORMED);
    EXPECT_EQ(LoadBytes(fx::Dds("DXT1", 1 << 20, 4, 1, block)), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_TOO_LARGE);
    std::string badSize = fx::Dds("DXT1", 4, 4, 1, block);
    badSize[4] = 100;
    EXPECT_EQ(LoadBytes(badSize), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_MALFORMED);
    std::string file = fx::Dds("DXT5", 8, 6, 4, Chain(4));
    for (size_t n = 0; n < file.size(); ++n) {
        std::vector<char> cut(file.begin(), file.begin() + n);
        EXPECT_EQ(Tx.txLoadMemory(cut.data(), n), nullptr) << n;
    }
}

}  // namespace
