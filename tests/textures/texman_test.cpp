// The texture table: sharing, release, depth, reload, dump, failures, and
// the binding of the loader module.
#include <unistd.h>

#include "texman_fixture.h"

namespace {

struct TexmanTable : TexmanTest {};

int InUse() {
    int n = 0;
    for (const TextureEntry& e : TextureManager) n += e.empty ? 0 : 1;
    return n;
}

TEST_F(TexmanTable, ResetClearsEverySlotButKeepsDepth) {
    TextureManager[1000].depth = 17;
    TextureManager[1000].glRef = 9;
    tmReset();
    for (const TextureEntry& e : TextureManager) {
        EXPECT_EQ(view(e.name), "empty");
        EXPECT_EQ(e.glRef, 0u);
        EXPECT_FALSE(e.uploaded);
        EXPECT_TRUE(e.empty);
        EXPECT_EQ(e.type, 3);
        EXPECT_EQ(e.reqs, 0);
    }
    EXPECT_EQ(TextureManager[1000].depth, 17);
    EXPECT_TRUE(RecglTake().empty());  // no GL texture is deleted
}

TEST_F(TexmanTable, SameNameAndModeIsSharedUntilTheLastRelease) {
    ShortString a = Tga("a.tga");
    uint32_t ref = tmAcquire(a, 3);
    RecglTake();
    EXPECT_EQ(tmAcquire(a, 3), ref);
    EXPECT_TRUE(RecglTake().empty());  // nothing loaded, nothing bound
    TextureEntry* e = SlotOf(ref);
    EXPECT_EQ(e, &TextureManager[0]);
    EXPECT_EQ(e->reqs, 2);
    tmRelease(ref);
    EXPECT_TRUE(RecglTake().empty());
    EXPECT_EQ(e->reqs, 1);
    EXPECT_EQ(tmDepthOf(ref), 24);
    tmRelease(ref);
    EXPECT_EQ(RecglTake(), std::vector<std::string>{"glDeleteTextures(1, [1])"});
    EXPECT_TRUE(e->empty);
    EXPECT_FALSE(e->uploaded);
    EXPECT_EQ(view(e->name), view(a));  // the freed slot keeps its old values
    EXPECT_EQ(tmDepthOf(ref), 0);
    tmRelease(ref);  // a third release finds nothing
    EXPECT_TRUE(RecglTake().empty());

    // The freed slot is the first free one: the next new texture takes it.
    uint32_t b = tmAcquire(Tga("b.tga"), 3);
    EXPECT_EQ(SlotOf(b), &TextureManager[0]);
}

TEST_F(TexmanTable, ModesAndLetterCaseMakeDifferentTextures) {
    ShortString lower = Tga("a.tga"), upper = Tga("A.tga");
    uint32_t linear = tmAcquire(lower, 1), mip = tmAcquire(lower, 3), other = tmAcquire(upper, 1);
    EXPECT_EQ(linear, 1u);
    EXPECT_EQ(mip, 2u);
    EXPECT_EQ(other, 3u);
    EXPECT_EQ(RecglOnly(RecglTake(), "glGenTextures(").size(), 3u);
    EXPECT_EQ(InUse(), 3);
}

TEST_F(TexmanTable, ReleaseOfNamesTheTableDoesNotHoldChangesNothing) {
    tmAcquire(Tga("a.tga"), 1);
    RecglTake();
    tmRelease(0);
    tmRelease(12345);
    EXPECT_TRUE(RecglTake().empty());
    EXPECT_EQ(TextureManager[0].reqs, 1);
    EXPECT_EQ(tmDepthOf(0), 0);
    EXPECT_EQ(tmDepthOf(12345), 0);
}

TEST_F(TexmanTable, DepthIsTheImagesBitsPerPixel) {
    uint32_t rgb = tmAcquire(Tga("a.tga", 24), 1), rgba = tmAcquire(Tga("b.tga", 32), 1);
    uint32_t grey = tmAcquire(File("g.tga", fx::Tga(2, 2, 8, fx::Pattern(2, 2))), 1);
    EXPECT_EQ(tmDepthOf(rgb), 24);
    EXPECT_EQ(tmDepthOf(rgba), 32);
    EXPECT_EQ(tmDepthOf(grey), 24);  // grey arrives as RGB
}

TEST_F(TexmanTable, ReleaseAllDeletesWhatIsUploadedAndResetsTheTable) {
    tmAcquire(Tga("a.tga"), 1);
    tmAcquire(Tga("b.tga"), 1);
    tmAcquire(Tga("b.tga"), 1);
    RecglTake();
    tmReleaseAll();
    EXPECT_EQ(RecglTake(), (std::vector<std::string>{"glDeleteTextures(1, [1])", "glDeleteTextures(1, [2])"}));
    EXPECT_EQ(InUse(), 0);
    EXPECT_EQ(view(TextureManager[1].name), "empty");
    EXPECT_EQ(TextureManager[1].depth, 24);
}

TEST_F(TexmanTable, ReloadAllGivesNewNamesAndKeepsSlotsModesAndCounts) {
    ShortString a = Tga("a.tga");
    tmAcquire(a, 1);
    tmAcquire(a, 1);
    tmAcquire(Tga("b.tga", 32), 3);
    tmAcquire(Tga("c.tga"), 0);
    tmRelease(3);  // slot 2 free again
    RecglTake();
    // The file changes on disk; the reload reads it again.
    File("a.tga", fx::Tga(4, 2, 32, fx::Pattern(4, 2)));
    tmReloadAll();
    std::vector<std::string> lines = RecglTake();
    EXPECT_EQ(RecglOnly(lines, "glDeleteTextures("),
              (std::vector<std::string>{"glDeleteTextures(1, [1])", "glDeleteTextures(1, [2])"}));
    EXPECT_EQ(RecglOnly(lines, "glGenTextures("), (std::vector<std::string>{"glGenTextures(1, [4])", "glGenTextures(1, [5])"}));
    EXPECT_EQ(RecglOnly(lines, "gluBuild2DMipmaps(").size(), 1u);
    EXPECT_EQ(TextureManager[0].glRef, 4u);
    EXPECT_EQ(TextureManager[0].reqs, 2);
    EXPECT_EQ(TextureManager[0].type, 1);
    EXPECT_EQ(TextureManager[0].depth, 32);
    EXPECT_EQ(TextureManager[1].glRef, 5u);
    EXPECT_TRUE(TextureManager[2].empty);

    unlink((dir + "/a.tga").c_str());
    EXPECT_EQ(FatalMessage([] { tmReloadAll(); }), "Error occoured ! Texture Loader Error. (NIL RETURN VALUE)");
}

TEST_F(TexmanTable, DumpListsTheSlotsInUse) {
    std::string path = dir + "/dump.txt";
    tmDump(S(path));
    EXPECT_EQ(ReadFileText(path), "ember!corvinth texture management system\r\n \r\n");
    ShortString a = Tga("a.tga");
    tmAcquire(a, 1);
    tmAcquire(a, 1);
    tmAcquire(Tga("b.tga"), 7);
    tmDump(S(path));
    EXPECT_EQ(ReadFileText(path), "ember!corvinth texture management system\r\n \r\n" + str(a) +
                                      " OpenGL ref.:1 uploaded:TRUE type:1 reqs.:2\r\n" + dir +
                                      "/b.tga OpenGL ref.:2 uploaded:TRUE type:7 reqs.:1\r\n");
    tmDump(S(dir + "/no/such/folder/dump.txt"));  // silently nothing
    EXPECT_FALSE(ReadFileText(dir + "/no/such/folder/dump.txt").size());
}

TEST_F(TexmanTable, AFileThatDoesNotLoadIsAFatalStopAndKeepsItsSlot) {
    ShortString missing = S(dir + "/missing.tga");
    EXPECT_EQ(FatalMessage([&] { tmAcquire(missing, 3); }),
              "Error occoured ! Texture Loader Error. ( " + dir + "/missing.tga )");
    EXPECT_FALSE(TextureManager[0].empty);
    EXPECT_FALSE(TextureManager[0].uploaded);
    EXPECT_EQ(view(TextureManager[0].name), view(missing));
    // A truncated file is the same stop.
    std::string tga = fx::Tga(4, 4, 24, fx::Pattern(4, 4));
    ShortString cut = File("cut.tga", tga.substr(0, tga.size() - 3));
    EXPECT_NE(FatalMessage([&] { tmAcquire(cut, 3); }), "");
}

TEST_F(TexmanTable, TheNameEmptyIsAnOrdinaryTexture) {
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(dir.c_str()), 0);
    WriteFile("empty", fx::Tga(2, 2, 24, fx::Pattern(2, 2)));
    uint32_t ref = tmAcquire(S("empty"), 3);
    EXPECT_EQ(ref, 1u);
    EXPECT_EQ(SlotOf(ref), &TextureManager[0]);
    EXPECT_EQ(tmAcquire(S("empty"), 3), ref);
    EXPECT_EQ(TextureManager[0].reqs, 2);
    EXPECT_EQ(chdir(old), 0);
}

TEST_F(TexmanTable, AFullTableIsAFatalStopWithAClearMessage) {
    RecglTracing(false);
    std::string tga = fx::Tga(1, 1, 24, fx::Pattern(1, 1));
    for (int i = 0; i < TextureSlots; ++i) tmAcquire(File("t" + std::to_string(i) + ".tga", tga), 1);
    EXPECT_EQ(InUse(), 1001);
    EXPECT_EQ(TextureManager[1000].glRef, 1001u);
    // Sharing still works on a full table.
    EXPECT_EQ(tmAcquire(S(dir + "/t5.tga"), 1), 6u);
    ShortString extra = File("extra.tga", tga);
    std::string message = FatalMessage([&] { tmAcquire(extra, 1); });
    RecglTracing(true);
    EXPECT_EQ(message, "Error occoured ! Texture table full: all 1001 slots are in use. ( " + str(extra) + " )");
}

struct TexmanBinding : ::testing::Test {
    ThrowOnFailure throwing;
    void TearDown() override {
        TlUnbind();
        setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
    }
};

TEST_F(TexmanBinding, OpensTheModuleAndLogsIt) {
    setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
    LogCapture log;
    TlBind();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"[TL] lib loaded.", "[TL] TL loaded ..."}));
    EXPECT_TRUE(TextureLoader.handle);
#define TX_BOUND(ret, name, params) EXPECT_TRUE(TextureLoader.name) << #name;
    TX_API_LIST(TX_BOUND)
#undef TX_BOUND
    TlUnbind();
    EXPECT_FALSE(TextureLoader.handle);
    EXPECT_FALSE(TextureLoader.txLoad);
    // Unbound: a load finds no loader instead of calling through 0.
    EXPECT_EQ(tmLoadImage(S("x.tga")), nullptr);
}

TEST_F(TexmanBinding, AMissingModuleIsAFatalStop) {
    setenv("VELMAR_MODULE_TL", "/nonexistent/TL.so", 1);
    LogCapture log;
    EXPECT_EQ(FatalMessage([] { TlBind(); }), "Ember textura loader not found. Please reinstall this software.");
    EXPECT_EQ(log.text.find("[TL]"), std::string::npos);
}

TEST_F(TexmanBinding, AModuleWithoutTheCalledEntryPointsIsAFatalStop) {
    // A library that loads but is no texture loader.
    setenv("VELMAR_MODULE_TL", RecglPath().c_str(), 1);
    LogCapture log;
    EXPECT_EQ(FatalMessage([] { TlBind(); }),
              "Ember textura loader entry point txInit not found. Please reinstall this software.");
    EXPECT_NE(log.text.find("[TL] lib loaded."), std::string::npos);
}

TEST_F(TexmanBinding, RegistersAtSlotFour) {
    Registry.init.slot[4] = SubsystemSlot{};
    Registry.exit.slot[4] = SubsystemSlot{};
    TlRegisterUnits();
    EXPECT_EQ(Registry.init.slot[4].inuse, 1);
    EXPECT_EQ(view(Registry.init.slot[4].name), "Texture loader ...");
    EXPECT_EQ(Registry.init.slot[4].proc, &TlBind);
    EXPECT_EQ(view(Registry.exit.slot[4].name), "Uninit texture loader ...");
    EXPECT_EQ(Registry.exit.slot[4].proc, &TlUnbind);
}

}  // namespace
