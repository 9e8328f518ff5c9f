// bench_textures: the texture manager's own cost with a null GL.
//
// Acquires 200 distinct 512 x 512 textures with filter mode 3 (the show's
// default) through the real Modules/TL.so, from TGA files and from DDS
// files (DXT1 with their 10 levels, handed over compressed or decoded),
// and prints the time per run and per texture. The GL is the tests'
// recording GL with tracing off, so the figures are the loader's and the
// manager's work, not the driver's.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "glbind/glbind.h"
#include "recgl/recgl.h"
#include "support/support.h"
#include "textures/texman.h"
#include "tl/fixtures.h"

namespace {

const int kCount = 200, kSide = 512, kRuns = 3;

double Now() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A 512 x 512 24-bit TGA, different for every `seed`.
std::string TgaFile(int seed) {
    std::string s(18, '\0');
    s[2] = 2;
    s[12] = (char)(kSide & 255), s[13] = (char)(kSide >> 8), s[14] = (char)(kSide & 255), s[15] = (char)(kSide >> 8);
    s[16] = 24;
    s.resize(18 + (size_t)kSide * kSide * 3);
    for (size_t i = 18; i < s.size(); ++i) s[i] = (char)((i * 7 + seed * 13) & 255);
    return s;
}

// A 512 x 512 DXT1 DDS with its whole chain (10 levels).
std::string DdsFile(int seed) {
    std::string data;
    for (int side = kSide; side >= 1; side /= 2) {
        int blocks = std::max(1, side / 4) * std::max(1, side / 4);
        for (int b = 0; b < blocks; ++b)
            data += fx::ColourBlock((uint16_t)(0xf800 + seed), 0x001f, (uint32_t)(b * 2654435761u));
    }
    return fx::Dds("DXT1", kSide, kSide, 10, data);
}

// Best of kRuns: acquire every name with mode 3, then release everything.
double AcquireAll(const std::vector<ShortString>& names) {
    double best = 1e30;
    for (int r = 0; r < kRuns; ++r) {
        tmReset();
        double t0 = Now();
        for (const ShortString& n : names) tmAcquire(n, 3);
        double t = Now() - t0;
        tmReleaseAll();
        best = std::min(best, t);
    }
    return best;
}

double LoadAll(const std::vector<ShortString>& names) {
    double best = 1e30;
    for (int r = 0; r < kRuns; ++r) {
        double t0 = Now();
        for (const ShortString& n : names) {
            TextureImage* img = tmLoadImage(n);
            TextureLoader.txFree(&img);
        }
        best = std::min(best, Now() - t0);
    }
    return best;
}

void Report(const char* what, double ms) {
    printf("%-52s %9.1f ms  %7.3f ms per texture\n", what, ms, ms / kCount);
}

}  // namespace

int main() {
    BindLinkedBase();
    setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
    RecglUse();
    GlBind();
    GluBind();
    RecglTracing(false);
    GLEXT.glCompressedTexImage2DARB =
        RecglEntry<decltype(GLEXT.glCompressedTexImage2DARB)>("glCompressedTexImage2DARB");
    TlBind();
    tmReset();
    tmSetLoaderOptions(0);

    std::string dir = MakeTempDir("bench-textures");
    std::vector<ShortString> tga, dds;
    for (int i = 0; i < kCount; ++i) {
        std::string t = dir + "/t" + std::to_string(i) + ".tga", d = dir + "/d" + std::to_string(i) + ".dds";
        WriteFile(t, TgaFile(i));
        WriteFile(d, DdsFile(i));
        tga.push_back(S(t));
        dds.push_back(S(d));
    }
    printf("%d distinct %d x %d textures, mode 3, null GL, best of %d runs\n", kCount, kSide, kSide, kRuns);
    Report("tmAcquire, TGA 24-bit (gluBuild2DMipmaps)", AcquireAll(tga));
    Report("  of which txLoad + txFree", LoadAll(tga));
    hasDXT1 = true;
    Report("tmAcquire, DDS DXT1 10 levels, handed over", AcquireAll(dds));
    hasDXT1 = false;
    Report("tmAcquire, DDS DXT1 10 levels, decoded to RGB", AcquireAll(dds));
    RemoveTree(dir);
    return 0;
}
