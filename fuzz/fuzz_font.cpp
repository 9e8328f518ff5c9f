// Font set reader: any bytes are read or refused; every glyph lookup stays
// inside the glyph array.
#include "fuzz_support.h"
#include "player/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    FontSet f{};
    if (!Accepted([&] { fontParse(f, std::string((const char*)data, size), "fuzz.3f"); })) return 0;
    for (int c = 0; c < 256; ++c) {
        const Glyph* g = fontGlyph(f, (unsigned char)c);
        if (g && (g < f.glyphs || g >= f.glyphs + f.count)) abort();
        if (g) (void)g->width;
    }
    void* p = f.glyphs;
    Base.BS_MemFree(&p);
    return 0;
}
