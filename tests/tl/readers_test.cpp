// TGA, PNG, JPEG and BMP through the texture-loader module.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "images.h"
#include "support/support.h"

namespace {

struct TlReaders : ::testing::Test {
    void SetUp() override { BindTx(); }
};

// Every pixel of `img` (level 0) equals `px`, channel by channel, for the
// image's channel count; grey files compare red to all three.
void ExpectPixels(const TextureImage* img, const fx::Rgba& px, int tolerance = 0) {
    int c = img->bpp / 8;
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x)
            for (int k = 0; k < c; ++k) {
                int want = px[((size_t)y * img->width + x) * 4 + k];
                int got = PixelAt(img, 0, x, y)[k];
                ASSERT_LE(std::abs(want - got), tolerance) << "pixel " << x << "," << y << " channel " << k;
            }
}

TEST_F(TlReaders, TgaOfEveryLayoutComesOutTopRowFirstInRgbOrder) {
    fx::Rgba px = fx::Pattern(3, 2);
    for (bool top : {false, true})
        for (bool rle : {false, true})
            for (int bpp : {24, 32}) {
                SCOPED_TRACE(testing::Message() << "top " << top << " rle " << rle << " bpp " << bpp);
                TextureImage* img = LoadBytes(fx::Tga(3, 2, bpp, px, top, rle));
                ASSERT_TRUE(img) << txResultText(Tx.txGetResult());
                EXPECT_EQ(img->kind, TX_KIND_PIXELS);
                EXPECT_EQ(img->source, TX_SOURCE_TGA);
                EXPECT_EQ(img->width, 3);
                EXPECT_EQ(img->height, 2);
                EXPECT_EQ(img->bpp, bpp);
                EXPECT_EQ(img->format, bpp == 32 ? 1 : 0);
                EXPECT_EQ(img->levels, 1);
                EXPECT_EQ(img->flags & TX_FLAG_BOTTOM_FIRST, 0);
                // 3 x 3 bytes padded to 12: GL's default unpack alignment.
                EXPECT_EQ(img->pitch, bpp == 24 ? 12 : 12);
                EXPECT_EQ(img->levelsize[0], img->pitch * 2);
                ExpectPixels(img, px);
                Tx.txFree(&img);
                EXPECT_EQ(img, nullptr);
            }
}

TEST_F(TlReaders, RleRunsAcrossRowsAreExpanded) {
    fx::Rgba px(5 * 3 * 4, 0);
    for (size_t i = 0; i < px.size(); i += 4) px[i] = 90, px[i + 1] = 80, px[i + 2] = 70, px[i + 3] = 60;
    px[7 * 4] = 1;  // one different pixel inside the run
    std::string file = fx::Tga(5, 3, 32, px, false, true);
    EXPECT_LT(file.size(), 18u + 15 * 4);  // really run-length coded
    TextureImage* img = LoadBytes(file);
    ASSERT_TRUE(img);
    ExpectPixels(img, px);
    Tx.txFree(&img);
}

TEST_F(TlReaders, GreyImagesBecomeRgbAndGreyWithAlphaRgba) {
    fx::Rgba px = fx::Pattern(5, 3);
    fx::Rgba grey = px;
    for (size_t i = 0; i < grey.size(); i += 4) grey[i + 1] = grey[i + 2] = grey[i];

    TextureImage* img = LoadBytes(fx::Tga(5, 3, 8, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 24);
    EXPECT_EQ(img->format, 0);
    EXPECT_EQ(img->pitch, 16);
    ExpectPixels(img, grey);
    Tx.txFree(&img);

    img = LoadBytes(Png(5, 3, 1, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->source, TX_SOURCE_PNG);
    EXPECT_EQ(img->bpp, 24);
    ExpectPixels(img, grey);
    Tx.txFree(&img);

    img = LoadBytes(Png(5, 3, 2, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 32);
    EXPECT_EQ(img->format, 1);
    ExpectPixels(img, grey);
    Tx.txFree(&img);
}

TEST_F(TlReaders, ColourMappedTgaLooksUpItsPalette) {
    std::vector<uint32_t> pal = {0x102030, 0xa0b0c0, 0xff0000};
    TextureImage* img = LoadBytes(fx::TgaMapped(3, 1, pal, {2, 0, 1}));
    ASSERT_TRUE(img) << txResultText(Tx.txGetResult());
    EXPECT_EQ(img->bpp, 24);
    const uint8_t* p = PixelAt(img, 0, 0, 0);
    EXPECT_EQ(p[0], 0xff);
    EXPECT_EQ(p[1], 0);
    p = PixelAt(img, 0, 1, 0);
    EXPECT_EQ(p[0], 0x10);
    EXPECT_EQ(p[2], 0x30);
    Tx.txFree(&img);
}

TEST_F(TlReaders, PngKeepsItsChannelsIncludingPaletteAlphaAndSixteenBits) {
    fx::Rgba px = fx::Pattern(7, 4);
    TextureImage* img = LoadBytes(Png(7, 4, 3, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 24);
    EXPECT_EQ(img->pitch, 24);  // 21 bytes padded
    ExpectPixels(img, px);
    Tx.txFree(&img);

    img = LoadBytes(Png(7, 4, 4, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 32);
    ExpectPixels(img, px);
    Tx.txFree(&img);

    // A palette with transparency: the image has alpha although the file's
    // header says one channel of indexes.
    fx::Rgba pal = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0};
    img = LoadBytes(PngPalette(3, 1, pal, {1, 2, 0}, true));
    ASSERT_TRUE(img) << txResultText(Tx.txGetResult());
    EXPECT_EQ(img->bpp, 32);
    EXPECT_EQ(img->format, 1);
    EXPECT_EQ(PixelAt(img, 0, 0, 0)[1], 255);
    EXPECT_EQ(PixelAt(img, 0, 0, 0)[3], 128);
    EXPECT_EQ(PixelAt(img, 0, 1, 0)[3], 0);
    Tx.txFree(&img);

    img = LoadBytes(PngPalette(3, 1, pal, {1, 2, 0}, false));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 24);
    Tx.txFree(&img);

    img = LoadBytes(Png16(7, 4, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 24);
    ExpectPixels(img, px);
    Tx.txFree(&img);
}

TEST_F(TlReaders, JpegAndBmp) {
    fx::Rgba flat(16 * 8 * 4);
    for (size_t i = 0; i < flat.size(); i += 4) flat[i] = 200, flat[i + 1] = 100, flat[i + 2] = 50, flat[i + 3] = 255;
    TextureImage* img = LoadBytes(Jpeg(16, 8, 3, flat));
    ASSERT_TRUE(img) << txResultText(Tx.txGetResult());
    EXPECT_EQ(img->source, TX_SOURCE_JPEG);
    EXPECT_EQ(img->bpp, 24);
    ExpectPixels(img, flat, 3);
    Tx.txFree(&img);

    img = LoadBytes(Jpeg(16, 8, 1, flat));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 24);
    EXPECT_NEAR(PixelAt(img, 0, 3, 3)[2], 200, 3);  // grey spread to blue
    Tx.txFree(&img);

    fx::Rgba px = fx::Pattern(3, 3);
    img = LoadBytes(Bmp(3, 3, 3, px));
    ASSERT_TRUE(img) << txResultText(Tx.txGetResult());
    EXPECT_EQ(img->source, TX_SOURCE_BMP);
    EXPECT_EQ(img->bpp, 24);
    ExpectPixels(img, px);  // the file is stored bottom row first
    Tx.txFree(&img);
}

// Cut short anywhere, no file loads (and none reads past its end: the
// bytes are copied into a buffer of exactly that size).
TEST_F(TlReaders, EveryTruncationIsRefused) {
    fx::Rgba px = fx::Pattern(6, 5);
    fx::Rgba pal = {255, 0, 0, 255, 0, 255, 0, 128};
    std::vector<std::pair<const char*, std::string>> files = {
        {"tga", fx::Tga(6, 5, 24, px)},
        {"tga rle", fx::Tga(6, 5, 32, px, true, true)},
        {"tga mapped", fx::TgaMapped(2, 2, {1, 2}, {0, 1, 1, 0})},
        {"png", Png(6, 5, 4, px)},
        {"png palette", PngPalette(2, 1, pal, {0, 1}, true)},
        {"jpeg", Jpeg(6, 5, 3, px)},
        {"bmp", Bmp(6, 5, 3, px)},
    };
    for (auto& [what, file] : files) {
        TextureImage* whole = LoadBytes(file);
        ASSERT_TRUE(whole) << what;
        Tx.txFree(&whole);
        for (size_t n = 0; n < file.size(); ++n) {
            std::vector<char> cut(file.begin(), file.begin() + n);
            TextureImage* img = Tx.txLoadMemory(cut.data(), n);
            EXPECT_EQ(img, nullptr) << what << " cut to " << n << " of " << file.size();
            if (img) Tx.txFree(&img);
            EXPECT_NE(Tx.txGetResult(), TX_OK);
        }
    }
}

TEST_F(TlReaders, HeadersThatPromiseTooMuchAreRefusedBeforeAllocating) {
    std::string tga = fx::Tga(2, 2, 24, fx::Pattern(2, 2));
    tga[12] = (char)0xff, tga[13] = (char)0xff, tga[14] = (char)0xff, tga[15] = (char)0xff;  // 65535 x 65535
    EXPECT_EQ(LoadBytes(tga), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_TOO_LARGE);

    std::string bmp = Bmp(2, 2, 3, fx::Pattern(2, 2));
    bmp[22] = 0, bmp[23] = 0, bmp[24] = 0, bmp[25] = (char)0x80;  // height INT_MIN
    EXPECT_EQ(LoadBytes(bmp), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_TOO_LARGE);

    std::string png = Png(2, 2, 3, fx::Pattern(2, 2));
    png[16] = 0x7f;  // width 2^30 + 2, CRC now wrong too
    EXPECT_EQ(LoadBytes(png), nullptr);
    EXPECT_NE(Tx.txGetResult(), TX_OK);
}

TEST_F(TlReaders, WhatIsNoImageGetsAFormatResult) {
    EXPECT_EQ(LoadBytes("hello, world, this is text and no image at all"), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_FORMAT);
    EXPECT_EQ(Tx.txLoadMemory(nullptr, 0), nullptr);
    EXPECT_NE(Tx.txGetResult(), TX_OK);
    std::string tga = fx::Tga(2, 2, 24, fx::Pattern(2, 2));
    tga[16] = 7;  // 7 bits per pixel
    EXPECT_EQ(LoadBytes(tga), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_FORMAT);
    // A JPEG whose scan runs to the end without its end marker.
    std::string jpeg = Jpeg(8, 8, 3, fx::Pattern(8, 8));
    jpeg.resize(jpeg.size() - 2);
    EXPECT_EQ(LoadBytes(jpeg), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_TRUNCATED);
}

// More than 256 codes in one Huffman table: stb_image would build its
// tables past their end; the loader refuses the file first.
TEST_F(TlReaders, JpegHuffmanTablesBeyondTheFormatsLimitAreRefused) {
    std::string jpeg = Jpeg(8, 8, 3, fx::Pattern(8, 8));
    size_t dht = jpeg.find("\xff\xc4");
    ASSERT_NE(dht, std::string::npos);
    for (int i = 0; i < 16; ++i) jpeg[dht + 5 + i] = (char)20;  // 320 codes
    EXPECT_EQ(LoadBytes(jpeg), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_MALFORMED);
}

TEST_F(TlReaders, TxLoadReadsFilesAndReportsMissingOnes) {
    std::string dir = MakeTempDir("tl");
    fx::Rgba px = fx::Pattern(4, 4);
    WriteFile(dir + "/a.tga", fx::Tga(4, 4, 32, px));
    TextureImage* img = Tx.txLoad((dir + "/a.tga").c_str());
    ASSERT_TRUE(img);
    EXPECT_EQ(img->bpp, 32);
    ExpectPixels(img, px);
    Tx.txFree(&img);
    EXPECT_EQ(Tx.txLoad((dir + "/missing.tga").c_str()), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_OPEN);
    EXPECT_EQ(Tx.txLoad(dir.c_str()), nullptr);  // a folder
    EXPECT_NE(Tx.txGetResult(), TX_OK);
    WriteFile(dir + "/empty.tga", "");
    EXPECT_EQ(Tx.txLoad((dir + "/empty.tga").c_str()), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_TRUNCATED);
    // The program's one rule: a named pipe is no file (and never waited on),
    // a file above 1 GiB is too large.
    mkfifo((dir + "/pipe.tga").c_str(), 0644);
    EXPECT_EQ(Tx.txLoad((dir + "/pipe.tga").c_str()), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_OPEN);
    WriteFile(dir + "/huge.tga", "");
    ASSERT_EQ(truncate((dir + "/huge.tga").c_str(), (1LL << 30) + 1), 0);
    EXPECT_EQ(Tx.txLoad((dir + "/huge.tga").c_str()), nullptr);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_TOO_LARGE);
    RemoveTree(dir);
}

}  // namespace
