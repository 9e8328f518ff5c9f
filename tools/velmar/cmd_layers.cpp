// velmar ife FILE [--at T]...   and   velmar font FILE
#include <stdio.h>

#include "../../layers/layers.h"
#include "../../player/font.h"
#include "commands.h"
#include "json.h"
#include "tool.h"

namespace {

void stateJson(JsonOut& j, const LayerState& s) {
    jsonOpen(j, '{');
    jsonKey(j, "x"), jsonFloat(j, s.x);
    jsonKey(j, "y"), jsonFloat(j, s.y);
    jsonKey(j, "angle"), jsonFloat(j, s.angle);
    jsonKey(j, "width"), jsonFloat(j, s.width);
    jsonKey(j, "height"), jsonFloat(j, s.height);
    jsonKey(j, "red"), jsonFloat(j, s.red);
    jsonKey(j, "green"), jsonFloat(j, s.green);
    jsonKey(j, "blue"), jsonFloat(j, s.blue);
    jsonKey(j, "alpha"), jsonFloat(j, s.alpha);
    jsonClose(j, '}');
}

}  // namespace

int cmdIfe(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--at"});
    if (a.help)
        return toolHelp(
            "usage: velmar ife FILE [--at T]...\n"
            "Reads an interface-layer file as the program loads it (no textures) and prints\n"
            "  {\"count\":N,\"header\":H,\"layers\":[{\"texture\":S,\"text2\":S,\"text3\":S,\"blend\":B,\n"
            "    \"keys\":[{\"time\":I,\"x\":F,\"y\":F,\"ease\":I,\"angle\":F,\"width\":F,\"height\":F,\n"
            "    \"red\":F,\"green\":F,\"blue\":F,\"alpha\":F},...]},...]}\n"
            "and with --at, \"at\":[{\"t\":T,\"layers\":[{\"x\":F,\"y\":F,\"angle\":F,\"width\":F,\n"
            "\"height\":F,\"red\":F,\"green\":F,\"blue\":F,\"alpha\":F},...]},...] : each layer as\n"
            "drawn at time T, colours divided by 255.\n");
    if (a.positional.size() != 1) toolFail("wants one layer file (see --help)");
    std::vector<float> at;
    for (auto& [k, v] : a.options) at.push_back((float)toolNumber(k, v));
    std::string text = toolReadFile(a.positional[0]);
    InterfaceLayerSet set{};
    ifeParse(set, text, S(a.positional[0]));

    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "count"), jsonInt(j, set.count);
    jsonKey(j, "header"), jsonInt(j, set.header);
    jsonKey(j, "layers");
    jsonOpen(j, '[');
    for (int i = 0; i < set.count; ++i) {
        const InterfaceLayer& l = set.layers[i];
        jsonOpen(j, '{');
        jsonKey(j, "texture"), jsonString(j, view(l.texturename));
        jsonKey(j, "text2"), jsonString(j, view(l.text2));
        jsonKey(j, "text3"), jsonString(j, view(l.text3));
        jsonKey(j, "blend"), jsonInt(j, l.blend);
        jsonKey(j, "keys");
        jsonOpen(j, '[');
        for (int k = 0; k < l.keycount; ++k) {
            const LayerKey& key = l.keys[k];
            jsonOpen(j, '{');
            jsonKey(j, "time"), jsonInt(j, key.time);
            jsonKey(j, "x"), jsonFloat(j, key.x);
            jsonKey(j, "y"), jsonFloat(j, key.y);
            jsonKey(j, "ease"), jsonInt(j, key.ease);
            jsonKey(j, "angle"), jsonFloat(j, key.angle);
            jsonKey(j, "width"), jsonFloat(j, key.width);
            jsonKey(j, "height"), jsonFloat(j, key.height);
            jsonKey(j, "red"), jsonFloat(j, key.red);
            jsonKey(j, "green"), jsonFloat(j, key.green);
            jsonKey(j, "blue"), jsonFloat(j, key.blue);
            jsonKey(j, "alpha"), jsonFloat(j, key.alpha);
            jsonClose(j, '}');
        }
        jsonClose(j, ']');
        jsonClose(j, '}');
    }
    jsonClose(j, ']');
    if (!at.empty()) {
        jsonKey(j, "at");
        jsonOpen(j, '[');
        for (float t : at) {
            jsonOpen(j, '{');
            jsonKey(j, "t"), jsonFloat(j, t);
            jsonKey(j, "layers");
            jsonOpen(j, '[');
            for (int i = 0; i < set.count; ++i) stateJson(j, ifeEvaluate(set.layers[i], t));
            jsonClose(j, ']');
            jsonClose(j, '}');
        }
        jsonClose(j, ']');
    }
    jsonClose(j, '}');
    printf("%s\n", j.s.c_str());
    return 0;
}

int cmdFont(int argc, char** argv) {
    if (argc > 0 && std::string(argv[0]) == "make") return cmdFontMake(argc - 1, argv + 1);
    ToolArgs a = toolParse(argc, argv, {});
    if (a.help)
        return toolHelp(
            "usage: velmar font FILE   (velmar font make --help: make a font set)\n"
            "Reads a font set and prints {\"count\":N,\"widths\":[W,...],\"map\":[256 glyph indices]}.\n");
    if (a.positional.size() != 1) toolFail("wants one font set file (see --help)");
    std::string data = toolReadFile(a.positional[0]);
    FontSet font{};
    fontParse(font, data, a.positional[0].c_str());
    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "count"), jsonInt(j, font.count);
    jsonKey(j, "widths");
    jsonOpen(j, '[');
    for (int i = 0; i < font.count; ++i) jsonInt(j, font.glyphs[i].width);
    jsonClose(j, ']');
    jsonKey(j, "map");
    jsonOpen(j, '[');
    for (int c = 0; c < 256; ++c) jsonInt(j, font.map[c]);
    jsonClose(j, ']');
    jsonClose(j, '}');
    printf("%s\n", j.s.c_str());
    return 0;
}
