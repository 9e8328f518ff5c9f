// The loader's options and the operations on loaded images.
#include <gtest/gtest.h>

#include "images.h"
#include "support/support.h"

namespace {

struct TlOperations : ::testing::Test {
    void SetUp() override { BindTx(); }
};

TEST_F(TlOperations, OptionsReturnTheirOldValueAndInitResetsThem) {
    EXPECT_EQ(Tx.txOptions(TX_OPTION_REDUCE, 2), 0);
    EXPECT_EQ(Tx.txOptions(TX_OPTION_REDUCE, 1), 2);
    EXPECT_EQ(Tx.txOptions(TX_OPTION_ROWORDER, 0), 1);
    EXPECT_EQ(Tx.txOptions(TX_DXT3, 1), 0);
    EXPECT_EQ(Tx.txOptions(12345, 1), -1);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_ARGUMENT);
    Tx.txInit(0);
    EXPECT_EQ(Tx.txOptions(TX_OPTION_REDUCE, 0), 0);
    EXPECT_EQ(Tx.txOptions(TX_OPTION_ROWORDER, 1), 1);
    EXPECT_EQ(Tx.txOptions(TX_DXT3, 0), 0);
    EXPECT_EQ(Tx.txGetVersion(), 0x0100);
}

TEST_F(TlOperations, ReduceHalvesOneLevelImagesWithABoxFilter) {
    fx::Rgba px = fx::Pattern(4, 3);
    Tx.txOptions(TX_OPTION_REDUCE, 1);
    TextureImage* img = LoadBytes(fx::Tga(4, 3, 24, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 2);
    EXPECT_EQ(img->height, 1);
    EXPECT_EQ(img->pitch, 8);
    EXPECT_EQ(img->levelsize[0], 8);
    // Pixel (1, 0) is the mean of (2..3, 0..1): red (21 + 31 + 21 + 31) / 4.
    EXPECT_EQ(PixelAt(img, 0, 1, 0)[0], 26);
    EXPECT_EQ(PixelAt(img, 0, 1, 0)[1], 12);  // (2 + 2 + 22 + 22) / 4
    EXPECT_EQ(PixelAt(img, 0, 1, 0)[2], 6);   // (5 + 6 + 6 + 7 + 2) / 4
    Tx.txFree(&img);

    // Halving stops at one pixel.
    Tx.txOptions(TX_OPTION_REDUCE, 9);
    img = LoadBytes(fx::Tga(4, 3, 32, px));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 1);
    EXPECT_EQ(img->height, 1);
    Tx.txFree(&img);
}

TEST_F(TlOperations, ReduceDropsTheLargestLevelsOfAChain) {
    std::string data;
    for (int l = 0; l < 3; ++l) {  // 8x8 (4 blocks), 4x4, 2x2; level l coloured l
        uint16_t c = fx::Rgb565(l * 100, 0, 0);
        for (int b = 0; b < (l == 0 ? 4 : 1); ++b) data += fx::ColourBlock(c, c, 0);
    }
    std::string file = fx::Dds("DXT1", 8, 8, 3, data);
    Tx.txOptions(TX_OPTION_REDUCE, 1);
    Tx.txOptions(TX_DXT1, 1);
    TextureImage* img = LoadBytes(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->kind, TX_KIND_COMPRESSED);
    EXPECT_EQ(img->width, 4);
    EXPECT_EQ(img->height, 4);
    ASSERT_EQ(img->levels, 2);
    EXPECT_EQ(img->levelsize[0], 8);
    EXPECT_EQ(std::string((const char*)img->level[0], 8), data.substr(32, 8));
    EXPECT_EQ(img->level[2], nullptr);
    Tx.txFree(&img);

    // Never below the last stored level.
    Tx.txOptions(TX_OPTION_REDUCE, 5);
    Tx.txOptions(TX_DXT1, 0);
    img = LoadBytes(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->levels, 1);
    EXPECT_EQ(img->width, 2);
    EXPECT_EQ(PixelAt(img, 0, 1, 1)[0], 206);  // 200 as 5 bits, widened
    Tx.txFree(&img);
}

TEST_F(TlOperations, RowOrderZeroGivesBottomRowFirstAndDecodesCompressedImages) {
    fx::Rgba px = fx::Pattern(3, 4);
    Tx.txOptions(TX_OPTION_ROWORDER, 0);
    TextureImage* img = LoadBytes(fx::Tga(3, 4, 24, px, true));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->flags & TX_FLAG_BOTTOM_FIRST, TX_FLAG_BOTTOM_FIRST);
    EXPECT_EQ(PixelAt(img, 0, 0, 0)[1], 20 * 3 + 2);  // the picture's last row
    EXPECT_EQ(PixelAt(img, 0, 0, 3)[1], 2);
    Tx.txFree(&img);

    Tx.txOptions(TX_DXT1, 1);
    uint16_t red = fx::Rgb565(255, 0, 0), blue = fx::Rgb565(0, 0, 255);
    // Top row index 0 (red), the rest index 1 (blue).
    img = LoadBytes(fx::Dds("DXT1", 4, 4, 1, fx::ColourBlock(red, blue, 0x55555500)));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->kind, TX_KIND_PIXELS);
    EXPECT_EQ(PixelAt(img, 0, 0, 3)[0], 255);
    EXPECT_EQ(PixelAt(img, 0, 0, 0)[0], 0);
    Tx.txFree(&img);
}

TEST_F(TlOperations, ConversionsRebuildEveryLevel) {
    fx::Rgba px = fx::Pattern(3, 2);
    TextureImage* img = LoadBytes(fx::Tga(3, 2, 24, px));
    ASSERT_TRUE(img);

    TextureImage* copy = Tx.txDup(img);
    ASSERT_TRUE(copy);
    EXPECT_NE(copy->level[0], img->level[0]);
    EXPECT_EQ(std::string((char*)copy->level[0], copy->levelsize[0]), std::string((char*)img->level[0], img->levelsize[0]));

    ASSERT_EQ(Tx.tx24to32(img), 1);
    EXPECT_EQ(img->bpp, 32);
    EXPECT_EQ(img->format, 1);
    EXPECT_EQ(img->pitch, 12);
    EXPECT_EQ(PixelAt(img, 0, 2, 1)[0], 21);
    EXPECT_EQ(PixelAt(img, 0, 2, 1)[3], 255);
    EXPECT_EQ(Tx.txGetDepth(img), 32);

    ASSERT_EQ(Tx.txBGR2RGB(img), 1);
    EXPECT_EQ(PixelAt(img, 0, 2, 1)[2], 21);
    EXPECT_EQ(PixelAt(img, 0, 2, 1)[0], 6);

    ASSERT_EQ(Tx.txIntensity(copy), 1);  // 24 -> 32, alpha from luminance
    EXPECT_EQ(copy->bpp, 32);
    const uint8_t* p = PixelAt(copy, 0, 1, 1);  // (11, 22, 5)
    EXPECT_EQ(p[3], (77 * 11 + 150 * 22 + 29 * 5 + 128) >> 8);

    ASSERT_EQ(Tx.tx24to8(copy), 1);
    EXPECT_EQ(copy->bpp, 8);
    EXPECT_EQ(copy->pitch, 4);
    EXPECT_EQ(PixelAt(copy, 0, 1, 1)[0], (77 * 11 + 150 * 22 + 29 * 5 + 128) >> 8);
    EXPECT_EQ(Tx.tx24to32(copy), 0);  // nothing to widen from one channel
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_UNSUPPORTED);

    ASSERT_EQ(Tx.txScale(img, 6, 5), 1);
    EXPECT_EQ(img->width, 6);
    EXPECT_EQ(img->height, 5);
    EXPECT_EQ(img->levelsize[0], 6 * 4 * 5);
    EXPECT_EQ(Tx.txScale(img, 0, 5), 0);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_ARGUMENT);

    EXPECT_EQ(Tx.txGetImage(img, 0), img->level[0]);
    EXPECT_EQ(Tx.txGetImageSize(img, 0), img->levelsize[0]);
    EXPECT_EQ(Tx.txGetImage(img, 1), nullptr);
    EXPECT_EQ(Tx.txGetImageSize(img, -1), 0);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_ARGUMENT);
    Tx.txFree(&img);
    Tx.txFree(&copy);
    Tx.txFree(&copy);  // already 0: nothing happens
    EXPECT_EQ(Tx.txGetDepth(nullptr), 0);
}

TEST_F(TlOperations, CompressedImagesRefusePixelOperations) {
    Tx.txOptions(TX_DXT1, 1);
    TextureImage* img = LoadBytes(fx::Dds("DXT1", 4, 4, 1, fx::ColourBlock(1, 2, 3)));
    ASSERT_TRUE(img);
    for (auto op : {Tx.tx24to32, Tx.tx24to8, Tx.txIntensity, Tx.txBGR2RGB}) {
        EXPECT_EQ(op(img), 0);
        EXPECT_EQ(Tx.txGetResult(), TX_ERR_UNSUPPORTED);
    }
    EXPECT_EQ(Tx.txScale(img, 8, 8), 0);
    EXPECT_EQ(img->kind, TX_KIND_COMPRESSED);
    Tx.txFree(&img);
}

TEST_F(TlOperations, SavedImagesLoadBackTheSame) {
    std::string dir = MakeTempDir("tlsave");
    fx::Rgba px = fx::Pattern(5, 3);
    TextureImage* img = LoadBytes(fx::Tga(5, 3, 32, px));
    ASSERT_TRUE(img);
    for (const char* ext : {".tga", ".png", ".bmp", ".TGA"}) {
        std::string path = dir + "/out" + ext;
        ASSERT_EQ(Tx.txSave(path.c_str(), img), 1) << ext;
        TextureImage* back = Tx.txLoad(path.c_str());
        ASSERT_TRUE(back) << ext;
        EXPECT_EQ(back->bpp, 32) << ext;
        EXPECT_EQ(std::string((char*)back->level[0], back->levelsize[0]),
                  std::string((char*)img->level[0], img->levelsize[0]))
            << ext;
        Tx.txFree(&back);
    }
    ASSERT_EQ(Tx.txSave((dir + "/out.jpg").c_str(), img), 1);
    EXPECT_EQ(Tx.txSave((dir + "/out.dds").c_str(), img), 0);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_UNSUPPORTED);
    EXPECT_EQ(Tx.txSave((dir + "/out.xyz").c_str(), img), 0);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_FORMAT);
    EXPECT_EQ(Tx.txSave((dir + "/no/such/folder.tga").c_str(), img), 0);
    EXPECT_EQ(Tx.txGetResult(), TX_ERR_WRITE);
    Tx.txFree(&img);

    // A bottom-first image is saved upright.
    Tx.txOptions(TX_OPTION_ROWORDER, 0);
    img = LoadBytes(fx::Tga(5, 3, 24, px));
    ASSERT_TRUE(img);
    ASSERT_EQ(Tx.txSave((dir + "/flip.png").c_str(), img), 1);
    Tx.txFree(&img);
    Tx.txOptions(TX_OPTION_ROWORDER, 1);
    img = Tx.txLoad((dir + "/flip.png").c_str());
    ASSERT_TRUE(img);
    EXPECT_EQ(PixelAt(img, 0, 0, 0)[1], 2);
    Tx.txFree(&img);

    // Compressed levels go into a DDS file as they are.
    std::string data = fx::ColourBlock(1, 2, 3) + fx::ColourBlock(4, 5, 6) + fx::ColourBlock(7, 8, 9) +
                       fx::ColourBlock(10, 11, 12) + fx::ColourBlock(13, 14, 15);
    Tx.txOptions(TX_DXT1, 1);
    img = LoadBytes(fx::Dds("DXT1", 8, 8, 2, data));
    ASSERT_TRUE(img);
    ASSERT_EQ(Tx.txSave((dir + "/out.dds").c_str(), img), 1);
    EXPECT_EQ(Tx.txSave((dir + "/out.png").c_str(), img), 0);
    Tx.txFree(&img);
    img = Tx.txLoad((dir + "/out.dds").c_str());
    ASSERT_TRUE(img);
    EXPECT_EQ(img->levels, 2);
    EXPECT_EQ(std::string((char*)img->level[0], 40), data);
    Tx.txFree(&img);
    RemoveTree(dir);
}

}  // namespace
