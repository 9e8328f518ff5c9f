// Texture recipe reader and painter: any bytes give a verdict; a recipe that
// reads holds together and paints only finite values within 0..1. (A tool
// unit: its FreeType-free sources come in here; text gets a stand-in mask.)
#include "fuzz_support.h"
#include "tools/texgen/paint.cpp"
#include "tools/texgen/recipe.cpp"

bool tgTextMask(const std::string&, float, const ShortString& text, int32_t width, int32_t height, float* mask,
                std::string&) {
    for (int64_t i = 0; i < (int64_t)width * height; ++i) mask[i] = (float)((i + text.len) % 3) / 2;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    static TexRecipe r;
    TexError err;
    if (!tgParse(r, (const char*)data, size, err)) {
        if (err.line < 1 || !memchr(err.text, 0, sizeof err.text) || err.text[0] == 0) abort();
        return 0;
    }
    if (r.width < 1 || r.height < 1 || r.width > TexMaxSide || r.height > TexMaxSide) abort();
    if (r.format < 0 || r.format >= TGF_COUNT || r.opcount < 0 || r.opcount > TexMaxOps) abort();
    for (int32_t i = 0; i < r.opcount; ++i) {
        const TgOp& op = r.ops[i];
        if (op.kind < 0 || op.kind >= TG_OPCOUNT || op.blend < 0 || op.blend >= TGB_COUNT) abort();
        if (!(op.opacity >= 0 && op.opacity <= 1) || op.line < 1) abort();
        for (float n : op.number)
            if (!std::isfinite(n)) abort();
    }
    // Paint small images whole; large ones are only read.
    if ((int64_t)r.width * r.height > 64 * 64) return 0;
    int64_t stars = 0;
    for (int32_t i = 0; i < r.opcount; ++i) stars += r.ops[i].kind == TG_stars ? (int64_t)r.ops[i].number[0] : 0;
    if (stars > 20000) return 0;
    std::vector<float> px((size_t)r.width * r.height * 4);
    if (!tgPaint(r, px.data(), ".", err)) abort();
    for (float v : px)
        if (!(v >= 0 && v <= 1)) abort();
    return 0;
}
