// velmar scene config-write SCENE OUT.cfg [--textures DIR]
// velmar scene config-apply SCENE CFG OUT.vlm
#include <stdio.h>
#include <sys/stat.h>

#include "../../frame/frame.h"
#include "../../scene/scenefile.h"
#include "../../sceneconfig/sceneconfig.h"
#include "tool.h"
#include "toolgl.h"

namespace {

const char WriteHelp[] =
    "usage: velmar scene config-write SCENE OUT.cfg [--textures DIR]\n"
    "Writes the scene's look as a configuration file (camera, materials, objects,\n"
    "lights, with comments). When the texture folder exists (default: Textures\n"
    "beside the scene's folder) the textures are loaded first, headless, so the\n"
    "blend and pass proposals follow each texture's real depth; without it a\n"
    "note on standard error and in the file says so. Settings the reader could\n"
    "not read back into the same entry are left out, each with a comment.\n";

const char ApplyHelp[] =
    "usage: velmar scene config-apply SCENE CFG OUT.vlm\n"
    "Loads the scene, applies the configuration file and saves the result.\n";

struct LoadedScene {
    Scene scene{};
    ~LoadedScene() { ReleaseScene(scene); }
};

bool isFolder(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int cmdSceneConfigWrite(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--textures"});
    if (a.help) return toolHelp(WriteHelp);
    if (a.positional.size() != 2) toolFail("config-write wants a scene and an output file (see --help)");
    std::string textures;
    for (auto& [k, v] : a.options) textures = v;
    bool named = !textures.empty();
    if (!named) textures = toolDefaultTextures(a.positional[0]);
    if (named && !isFolder(textures)) toolFail("no texture folder " + textures);
    ToolGl gl;
    LoadedScene s;
    toolLoadScene(s.scene, a.positional[0]);
    std::string note;
    if (isFolder(textures)) {
        toolOpenGl(gl, 64, 64, true);
        SetupSceneTextures(s.scene, S(textures));
    } else {
        // The depths the file holds are what the proposals see then.
        note = "no texture folder " + textures +
               ": the blend and pass proposals follow the depths the scene file holds, not the textures'";
        fprintf(stderr, "velmar scene config-write: %s\n", note.c_str());
    }
    std::string why;
    if (!TryWriteFileAtomic(a.positional[1].c_str(), SceneConfigText(s.scene, note), &why))
        toolFail("cannot write " + a.positional[1] + ": " + why);
    return 0;
}

int cmdSceneConfigApply(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {});
    if (a.help) return toolHelp(ApplyHelp);
    if (a.positional.size() != 3) toolFail("config-apply wants a scene, a configuration file and an output file");
    LoadedScene s;
    toolLoadScene(s.scene, a.positional[0]);
    ReadSceneConfig(s.scene, S(a.positional[1]));
    std::string why;
    if (!TryWriteFileAtomic(a.positional[2].c_str(), SaveSceneData(s.scene), &why))
        toolFail("cannot write " + a.positional[2] + ": " + why);
    return 0;
}
