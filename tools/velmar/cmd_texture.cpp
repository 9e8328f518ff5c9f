// velmar texture make RECIPE OUT
#include <stdio.h>

#include "../../frame/frame.h"
#include "../texgen/texgen.h"
#include "json.h"
#include "tool.h"

int cmdTexture(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {});
    if (a.help)
        return toolHelp(
            "usage: velmar texture make RECIPE OUT\n"
            "Paints a texture from a recipe (format in the README) and writes it as TGA\n"
            "(24 or 32 bits), PNG, or DDS with DXT1/DXT5 levels down to 1 x 1; the recipe's\n"
            "format statement or else OUT's extension (.tga .png .dds) decides, with alpha\n"
            "when any pixel is not opaque. The same recipe always gives the same bytes.\n"
            "Prints {\"out\":F,\"format\":S,\"width\":W,\"height\":H,\"levels\":L,\"alpha\":B,\"bytes\":N}.\n");
    if (a.positional.empty() || a.positional[0] != "make") toolFail("wants: make RECIPE OUT (see --help)");
    if (a.positional.size() != 3) toolFail("make wants a recipe file and an output file (see --help)");
    const std::string& recipePath = a.positional[1];
    const std::string& outPath = a.positional[2];
    std::string text = toolReadFile(recipePath);

    TexRecipe* recipe = (TexRecipe*)Base.BS_MemGet(sizeof(TexRecipe), "Texture recipe");
    TexError err{};
    if (!tgParse(*recipe, text.data(), text.size(), err))
        toolFail(recipePath + ":" + std::to_string(err.line) + ": " + err.text);
    int32_t format = tgChooseFormat(recipe->format, outPath, false);
    if (format == TGF_auto) toolFail(outPath + ": name it .tga, .png or .dds, or give the recipe a format");

    size_t folderEnd = recipePath.rfind('/');
    std::string folder = folderEnd == std::string::npos ? "." : recipePath.substr(0, folderEnd);
    int32_t w = recipe->width, h = recipe->height;
    float* canvas = (float*)Base.BS_MemGet(sizeof(float) * 4 * (size_t)w * (size_t)h, "Texture canvas");
    if (!tgPaint(*recipe, canvas, folder, err))
        toolFail(recipePath + ":" + std::to_string(err.line) + ": " + err.text);
    bool alpha = false;
    for (size_t i = 0; i < (size_t)w * h && !alpha; ++i) alpha = canvas[i * 4 + 3] < 254.5f / 255.0f;
    format = tgChooseFormat(recipe->format, outPath, alpha);
    int32_t levels = 1;
    std::string out = tgEncode(canvas, w, h, format, &levels);
    void* p = canvas;
    Base.BS_MemFree(&p);
    p = recipe;
    Base.BS_MemFree(&p);
    if (out.empty()) toolFail("cannot encode " + outPath);
    std::string why;
    if (!TryWriteFileAtomic(outPath.c_str(), out, &why)) toolFail("cannot write " + outPath + ": " + why);

    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "out"), jsonString(j, outPath);
    jsonKey(j, "format"), jsonString(j, tgFormatName(format));
    jsonKey(j, "width"), jsonInt(j, w);
    jsonKey(j, "height"), jsonInt(j, h);
    jsonKey(j, "levels"), jsonInt(j, levels);
    jsonKey(j, "alpha"), jsonBool(j, alpha);
    jsonKey(j, "bytes"), jsonInt(j, (int64_t)out.size());
    jsonClose(j, '}');
    printf("%s\n", j.s.c_str());
    return 0;
}
