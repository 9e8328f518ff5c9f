// The show's textures: every recipe in content/textures/ (NAME.tex gives
// Textures/NAME.tga) and the text cards, made from a table below with the
// same recipe reader, so both go through one painter.
#include <algorithm>
#include <filesystem>
#include <vector>

#include "showmake.h"
#include "frame/base.h"
#include "tools/texgen/texgen.h"

namespace {

// Text cards: white letters on a clear ground, tinted by the layers.
// name, width, height, letter size in pixels, text.
#define SHOW_TEXT_CARDS(X)                                                   \
    X(t_presents, 1024, 128, 72, "VELMAR PRESENTS")                          \
    X(t_realtime, 1024, 64, 34, "a real-time show in nine parts")            \
    X(t_title, 1024, 256, 200, "VEXIL 2")                                    \
    X(t_subtitle, 1024, 64, 36, "the return of the emblem")                  \
    X(c_code, 1024, 64, 40, "CODE  -  the Velmar engine")                    \
    X(c_music, 1024, 64, 40, "MUSIC  -  the built-in synthesiser")           \
    X(c_gfx, 1024, 64, 40, "GRAPHICS  -  procedural recipes")                \
    X(c_type, 1024, 64, 40, "TYPE  -  DejaVu Sans")                          \
    X(p_emblem, 1024, 96, 56, "I.  THE EMBLEM")                              \
    X(p_creature, 1024, 96, 56, "II.  THE CREATURE")                         \
    X(p_control, 1024, 96, 56, "III.  THE CONTROL ROOM")                     \
    X(p_field, 1024, 96, 56, "IV.  THE FIELD")                               \
    X(p_sculpture, 1024, 96, 56, "V.  THE SCULPTURE")                        \
    X(p_dragon, 1024, 96, 56, "VI.  THE DRAGON")                             \
    X(g_head, 1024, 96, 60, "GREETINGS")                                     \
    X(g_1, 1024, 64, 36, "to everyone who writes demos")                     \
    X(g_2, 1024, 64, 36, "to the Mesa and SDL developers")                   \
    X(g_3, 1024, 64, 36, "to the FreeType and Xiph people")                  \
    X(g_4, 1024, 64, 36, "to the makers of Debian")                          \
    X(g_5, 1024, 64, 36, "and to you, for watching")                         \
    X(t_end, 1024, 192, 150, "THE END")                                      \
    X(t_thanks, 1024, 64, 36, "vexil 2  -  made with Velmar")

struct TextCard {
    const char* name;
    int width, height, size;
    const char* text;
};
#define SHOW_CARD_ROW(name, w, h, size, text) {#name, w, h, size, text},
const TextCard Cards[] = {SHOW_TEXT_CARDS(SHOW_CARD_ROW)};
#undef SHOW_CARD_ROW

void paint(const ShowMakeDirs& d, const std::string& name, const std::string& recipeText, const std::string& folder) {
    TexRecipe* r = (TexRecipe*)Base.BS_MemGet(sizeof(TexRecipe), "Texture recipe");
    TexError err{};
    if (!tgParse(*r, recipeText.data(), recipeText.size(), err))
        smFail(name + ":" + std::to_string(err.line) + ": " + err.text);
    std::vector<float> canvas((size_t)r->width * r->height * 4);
    if (!tgPaint(*r, canvas.data(), folder, err)) smFail(name + ":" + std::to_string(err.line) + ": " + err.text);
    bool alpha = false;
    for (size_t i = 0; i < (size_t)r->width * r->height && !alpha; ++i) alpha = canvas[i * 4 + 3] < 254.5f / 255.0f;
    std::string out = name + ".tga";
    std::string bytes = tgEncode(canvas.data(), r->width, r->height, tgChooseFormat(r->format, out, alpha));
    if (bytes.empty()) smFail("cannot encode " + out);
    smPut(d, "Textures/" + out, bytes);
    void* p = r;
    Base.BS_MemFree(&p);
}

}  // namespace

void smMakeTextures(const ShowMakeDirs& d) {
    std::string folder = d.source + "/textures";
    std::vector<std::filesystem::path> recipes;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".tex") recipes.push_back(e.path());
    std::sort(recipes.begin(), recipes.end());
    for (const auto& p : recipes) paint(d, p.stem().string(), smRead(p.string()), folder);
    for (const TextCard& c : Cards) {
        std::string recipe = "size " + std::to_string(c.width) + " " + std::to_string(c.height) +
                             "\nblend replace\nfill #ffffff00\nblend mix\ntext #ffffff " + std::to_string(c.size) +
                             " " + d.font + " \"" + c.text + "\"\n";
        paint(d, c.name, recipe, folder);
    }
}
