// tmAcquire's upload paths, as the recording GL sees them.
#include "texman_fixture.h"

namespace {

using Lines = std::vector<std::string>;

struct TexmanUpload : TexmanTest {};

// The pattern image as the loader lays it out: rows padded to 4 bytes.
std::string PatternBytes(int w, int h, int bpp) {
    fx::Rgba px = fx::Pattern(w, h);
    int c = bpp / 8, pitch = (w * c + 3) & ~3;
    std::string s((size_t)pitch * h, '\0');
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < c; ++k) s[(size_t)y * pitch + x * c + k] = (char)px[((size_t)y * w + x) * 4 + k];
    return s;
}

Lines Created(uint32_t ref, const Lines& rest) {
    Lines l = {"glGenTextures(1, [" + std::to_string(ref) + "])",
               "glBindTexture(GL_TEXTURE_2D, " + std::to_string(ref) + ")"};
    l.insert(l.end(), rest.begin(), rest.end());
    return l;
}

std::string Filters(const char* mag, const char* min) {
    return std::string("glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, ") + mag + ")\n" +
           "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, " + min + ")";
}

Lines Split(const std::string& text) {
    Lines out;
    size_t at = 0;
    for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) out.push_back(text.substr(at, nl - at));
    out.push_back(text.substr(at));
    return out;
}

Lines Join(std::initializer_list<std::string> parts) {
    Lines out;
    for (const std::string& p : parts)
        for (const std::string& l : Split(p)) out.push_back(l);
    return out;
}

TEST_F(TexmanUpload, BaseOnlyModesMakeOneGlTexImage2D) {
    std::string rgb = Hash(PatternBytes(4, 2, 24).data(), 4 * 2 * 3);
    std::string rgba = Hash(PatternBytes(4, 2, 32).data(), 4 * 2 * 4);
    EXPECT_EQ(tmAcquire(Tga("a.tga", 24), 0), 1u);
    EXPECT_EQ(RecglTake(), Created(1, Join({Filters("GL_NEAREST", "GL_NEAREST"),
                                            "glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, " +
                                                rgb + ")"})));
    EXPECT_EQ(tmAcquire(Tga("b.tga", 32), 1), 2u);
    EXPECT_EQ(RecglTake(), Created(2, Join({Filters("GL_LINEAR", "GL_LINEAR"),
                                            "glTexImage2D(GL_TEXTURE_2D, 0, 4, 4, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, " +
                                                rgba + ")"})));
}

TEST_F(TexmanUpload, MipmapModesLetGluBuildTheChain) {
    std::string rgb = Hash(PatternBytes(4, 2, 24).data(), 4 * 2 * 3);
    EXPECT_EQ(tmAcquire(Tga("a.tga"), 2), 1u);
    EXPECT_EQ(RecglTake(),
              Created(1, Join({Filters("GL_NEAREST", "GL_NEAREST_MIPMAP_NEAREST"),
                               "gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 4, 2, GL_RGB, GL_UNSIGNED_BYTE, " + rgb + ")"})));
    EXPECT_EQ(tmAcquire(Tga("a.tga"), 3), 2u);
    EXPECT_EQ(RecglTake(),
              Created(2, Join({Filters("GL_LINEAR", "GL_LINEAR_MIPMAP_LINEAR"),
                               "gluBuild2DMipmaps(GL_TEXTURE_2D, 3, 4, 2, GL_RGB, GL_UNSIGNED_BYTE, " + rgb + ")"})));
}

// A DDS chain 4 x 1, 2 x 1, 1 x 1: each level one block of its own bytes.
std::string Chain4x1() { return std::string(8, 'a') + std::string(8, 'b') + std::string(8, 'c'); }

TEST_F(TexmanUpload, CompressedLevelsGoUpAsTheyAreWithClampedSizes) {
    ShortString name = File("c.dds", fx::Dds("DXT1", 4, 1, 3, Chain4x1()));
    auto level = [](int i, int w, char c) {
        return "glCompressedTexImage2DARB(GL_TEXTURE_2D, " + std::to_string(i) + ", GL_COMPRESSED_RGB_S3TC_DXT1_EXT, " +
               std::to_string(w) + ", 1, 0, 8, " + Hash(std::string(8, c).data(), 8) + ")";
    };
    // Also for a mipmap mode: the stored levels are the chain.
    EXPECT_EQ(tmAcquire(name, 3), 1u);
    EXPECT_EQ(RecglTake(), Created(1, Join({Filters("GL_LINEAR", "GL_LINEAR_MIPMAP_LINEAR"),
                                            "glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0)", level(0, 4, 'a'),
                                            level(1, 2, 'b'), level(2, 1, 'c'),
                                            "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 2)"})));
    EXPECT_EQ(tmDepthOf(1), 24);
}

TEST_F(TexmanUpload, OneCompressedLevelIsNoChainEvenForMipmapModes) {
    ShortString name = File("one.dds", fx::Dds("DXT5", 4, 4, 1, std::string(16, 'q')));
    EXPECT_EQ(tmAcquire(name, 2), 1u);
    EXPECT_EQ(RecglTake(),
              Created(1, Join({Filters("GL_NEAREST", "GL_NEAREST_MIPMAP_NEAREST"),
                               "glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0)",
                               "glCompressedTexImage2DARB(GL_TEXTURE_2D, 0, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 4, 4, 0, "
                               "16, " + Hash(std::string(16, 'q').data(), 16) + ")",
                               "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0)"})));
    EXPECT_EQ(tmDepthOf(1), 32);
}

TEST_F(TexmanUpload, WithoutTheCompressedEntryPointLevelsAreSkippedSilently) {
    GLEXT.glCompressedTexImage2DARB = nullptr;
    ShortString name = File("c.dds", fx::Dds("DXT1", 4, 1, 3, Chain4x1()));
    EXPECT_EQ(tmAcquire(name, 1), 1u);
    EXPECT_EQ(RecglTake(), Created(1, Join({Filters("GL_LINEAR", "GL_LINEAR"),
                                            "glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0)",
                                            "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 2)"})));
    EXPECT_TRUE(SlotOf(1)->uploaded);
}

TEST_F(TexmanUpload, SeveralPixelLevelsGoUpOneByOneWhateverTheMode) {
    // The GL lists no DXT1: the same file is decoded to three RGB levels.
    hasDXT1 = false;
    ShortString name = File("c.dds", fx::Dds("DXT1", 4, 1, 3, Chain4x1()));
    TextureImage* img = tmLoadImage(name);
    ASSERT_TRUE(img);
    ASSERT_EQ(img->levels, 3);
    auto level = [&](int i, int w) {
        return "glTexImage2D(GL_TEXTURE_2D, " + std::to_string(i) + ", 3, " + std::to_string(w) +
               ", 1, 0, GL_RGB, GL_UNSIGNED_BYTE, " + Hash(img->level[i], (size_t)w * 3) + ")";
    };
    Lines chain = {"glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0)", level(0, 4), level(1, 2), level(2, 1),
                   "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 2)"};
    for (int mode : {0, 3}) {
        uint32_t ref = tmAcquire(name, mode);
        Lines want = Created(ref, Split(mode == 0 ? Filters("GL_NEAREST", "GL_NEAREST")
                                                  : Filters("GL_LINEAR", "GL_LINEAR_MIPMAP_LINEAR")));
        want.insert(want.end(), chain.begin(), chain.end());
        EXPECT_EQ(RecglTake(), want) << "mode " << mode;
    }
    TextureLoader.txFree(&img);
}

TEST_F(TexmanUpload, TheDxtAnswersAreHandedToTheLoaderBeforeEveryLoad) {
    ShortString name = File("one.dds", fx::Dds("DXT3", 4, 4, 1, std::string(16, 'q')));
    tmAcquire(name, 1);
    EXPECT_EQ(RecglOnly(RecglTake(), "glCompressedTexImage2DARB(").size(), 1u);
    hasDXT3 = false;
    tmAcquire(name, 0);
    Lines lines = RecglTake();
    EXPECT_TRUE(RecglOnly(lines, "glCompressedTexImage2DARB(").empty());
    ASSERT_EQ(RecglOnly(lines, "glTexImage2D(").size(), 1u);
    EXPECT_NE(RecglOnly(lines, "glTexImage2D(")[0].find(", 4, 4, 4, 0, GL_RGBA,"), std::string::npos);
}

TEST_F(TexmanUpload, ModesBeyondThreeMakeABareTextureThatIsShared) {
    ShortString name = Tga("a.tga");
    EXPECT_EQ(tmAcquire(name, 7), 1u);
    EXPECT_EQ(RecglTake(), Created(1, {}));
    TextureEntry* e = SlotOf(1);
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->uploaded);
    EXPECT_EQ(e->type, 7);
    EXPECT_EQ(e->depth, 24);
    EXPECT_EQ(tmAcquire(name, 7), 1u);
    EXPECT_TRUE(RecglTake().empty());
    EXPECT_EQ(e->reqs, 2);
    EXPECT_EQ(tmAcquire(name, -1), 2u);
    EXPECT_EQ(RecglTake(), Created(2, {}));
}

TEST_F(TexmanUpload, LoaderOptionTwoReducesWhatIsUploaded) {
    tmSetLoaderOptions(1);
    tmAcquire(Tga("a.tga"), 1);
    Lines lines = RecglOnly(RecglTake(), "glTexImage2D(");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 43), "glTexImage2D(GL_TEXTURE_2D, 0, 3, 2, 1, 0, ");
}

}  // namespace
