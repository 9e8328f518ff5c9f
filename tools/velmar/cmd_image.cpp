// velmar image FILE [--dxt] [--reduce N] [--save OUT]
#include <stdio.h>

#include "../../frame/frame.h"
#include "../../textures/texman.h"
#include "json.h"
#include "tool.h"

int cmdImage(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--reduce", "--save"}, {"--dxt"});
    if (a.help)
        return toolHelp(
            "usage: velmar image FILE [--dxt] [--reduce N] [--save OUT]\n"
            "Loads an image through the texture-loader module (Modules/TL.so) and prints\n"
            "what it returns:\n"
            "  {\"kind\":K,\"format\":F,\"width\":W,\"height\":H,\"bpp\":B,\"levels\":L}\n"
            "kind 5 is block-compressed levels (format: the GL compressed format), any\n"
            "other kind rows of bytes (format 0 RGB, 1 RGBA).\n"
            "  --dxt        hand DXT1/3/5 levels over compressed, as for a GL that lists\n"
            "               those formats (default: decode them to pixels)\n"
            "  --reduce N   loader option 2: halve the image N times\n"
            "  --save OUT   write the loaded image (.tga .png .bmp .jpg; .dds for kind 5)\n");
    if (a.positional.size() != 1) toolFail("wants one image file (see --help)");
    int dxt = 0;
    long reduce = 0;
    std::string save;
    for (auto& [k, v] : a.options) {
        if (k == "--dxt") dxt = 1;
        else if (k == "--reduce") reduce = toolInt(k, v);
        else if (k == "--save") save = v;
    }
    if (reduce < 0 || reduce > 16) toolFail("--reduce wants 0 to 16");

    TlBind();
    TextureLoader.txOptions(TX_OPTION_REDUCE, (int32_t)reduce);
    TextureLoader.txOptions(TX_OPTION_ROWORDER, 1);
    TextureLoader.txOptions(TX_DXT1, dxt);
    TextureLoader.txOptions(TX_DXT3, dxt);
    TextureLoader.txOptions(TX_DXT5, dxt);
    const std::string& file = a.positional[0];
    TextureImage* img = TextureLoader.txLoad(file.c_str());
    if (!img) {
        int32_t why = TextureLoader.txGetResult ? TextureLoader.txGetResult() : TX_ERR_OPEN;
        toolFail("cannot load " + file + ": " + txResultText(why));
    }
    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "kind"), jsonInt(j, img->kind);
    jsonKey(j, "format"), jsonInt(j, img->format);
    jsonKey(j, "width"), jsonInt(j, img->width);
    jsonKey(j, "height"), jsonInt(j, img->height);
    jsonKey(j, "bpp"), jsonInt(j, img->bpp);
    jsonKey(j, "levels"), jsonInt(j, img->levels);
    jsonClose(j, '}');
    bool saved = save.empty() || (TextureLoader.txSave && TextureLoader.txSave(save.c_str(), img));
    int32_t why = saved || !TextureLoader.txGetResult ? TX_OK : TextureLoader.txGetResult();
    TextureLoader.txFree(&img);
    if (!saved) toolFail("cannot save " + save + ": " + txResultText(why));
    printf("%s\n", j.s.c_str());
    return 0;
}
