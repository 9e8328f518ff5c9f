// velmar font make TTF OUT.3f [--chars RANGE] [--size PX]
#include <stdio.h>

#include "../../player/font.h"
#include "../fontmake/fontmake.h"
#include "commands.h"
#include "json.h"
#include "tool.h"

int cmdFontMake(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--chars", "--size"});
    if (a.help)
        return toolHelp(
            "usage: velmar font make TTF OUT.3f [--chars RANGE] [--size PX]\n"
            "Rasterises a TrueType or OpenType font (FreeType) into a font set: one\n"
            "64 x 64 grey glyph per character, glyph 0 blank and zero wide for the\n"
            "characters the font lacks. Codes are Latin-1.\n"
            "  --chars RANGE  codes to make, e.g. 32-126,160-255 (default 32-126)\n"
            "  --size PX      pixel size (default: the largest at which every chosen\n"
            "                 glyph fits the box, ascenders and descenders whole)\n"
            "Prints {\"out\":F,\"glyphs\":N,\"size\":PX,\"baseline\":ROW,\"missing\":M,\"clipped\":C}.\n");
    if (a.positional.size() != 2) toolFail("make wants a font file and an output file (see --help)");
    FontMakeOptions o = fmDefaultOptions();
    for (auto& [k, v] : a.options) {
        std::string why;
        if (k == "--chars" && !fmParseChars(v, o.chars, why)) toolFail(why);
        if (k == "--size") {
            long s = toolInt(k, v);
            if (s < 1 || s > 1024) toolFail("--size wants 1 to 1024 pixels");
            o.size = (int32_t)s;
        }
    }
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];
    std::string data = toolReadFile(in);
    FontSet font{};
    FontMakeReport report{};
    std::string why;
    if (!fmMake(font, data, o, report, why)) toolFail(in + ": " + why);
    bool saved = SaveFont(font, out.c_str(), &why);
    fmRelease(font);
    if (!saved) toolFail("cannot write " + out + ": " + why);
    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "out"), jsonString(j, out);
    jsonKey(j, "glyphs"), jsonInt(j, report.glyphs);
    jsonKey(j, "size"), jsonInt(j, report.size);
    jsonKey(j, "baseline"), jsonInt(j, report.baseline);
    jsonKey(j, "missing"), jsonInt(j, report.missing);
    jsonKey(j, "clipped"), jsonInt(j, report.clipped);
    jsonClose(j, '}');
    printf("%s\n", j.s.c_str());
    return 0;
}
