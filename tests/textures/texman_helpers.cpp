#include "texman_fixture.h"

#include <stdlib.h>

void TexmanTest::SetUp() {
    static bool bound = [] {
        setenv("VELMAR_MODULE_TL", (ModuleDir() + "/TL.so").c_str(), 1);
        RecglUse();
        GlBind();
        GluBind();
        return true;
    }();
    (void)bound;
    ASSERT_TRUE(GL.handle && GLU.handle);
    GLEXT.glCompressedTexImage2DARB =
        RecglEntry<decltype(GLEXT.glCompressedTexImage2DARB)>("glCompressedTexImage2DARB");
    hasDXT1 = hasDXT3 = hasDXT5 = true;
    TlBind();
    tmReset();
    tmSetLoaderOptions(0);
    RecglReset();
    dir = MakeTempDir("texman");
}

void TexmanTest::TearDown() {
    TlUnbind();
    RemoveTree(dir);
}

ShortString TexmanTest::File(const std::string& name, const std::string& bytes) {
    WriteFile(dir + "/" + name, bytes);
    return S(dir + "/" + name);
}

ShortString TexmanTest::Tga(const std::string& name, int bpp) { return File(name, fx::Tga(4, 2, bpp, fx::Pattern(4, 2))); }

std::string FatalMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const Failure& failure) {
        return failure.message;
    }
    return "";
}

TextureEntry* SlotOf(uint32_t ref) {
    for (TextureEntry& e : TextureManager)
        if (e.glRef == ref) return &e;
    return nullptr;
}

std::string Hash(const void* p, size_t n) {
    char b[16];
    snprintf(b, sizeof b, "#%08x", recgl::hashBytes(p, n));
    return b;
}
