// showmake SOURCE_DIR SHOW_DIR [FONT] - writes the default show's data.
#include "showmake.h"

#include <cstdio>
#include <filesystem>

#include "frame/base.h"
#include "frame/frame.h"
#include "frame/runerror.h"
#include "frame/rtfile.h"
#include "player/font.h"
#include "tools/fontmake/fontmake.h"

const char* const SmSceneNames[8] = {"kard_anim",   "vexil2_anim",       "vexildog_anim",
                                     "vexildog_anim_envmap", "controlroom_shadow_optimized", "kocka_anim",
                                     "untitled_prefinal", "sarkany"};
const char* const SmLayerNames[22] = {"eleje",      "fadeout",     "fadein",      "xfade",      "kek2",
                                      "kek1",       "focim",       "border",      "credits",    "kerethatul",
                                      "128alpha",   "blur_8_full", "blur_4_full", "radialblur", "ketto",
                                      "csont",      "greetings",   "glow_sotetit", "starmap",   "starmap2",
                                      "vege",       "harom"};

void smFail(const std::string& why) {
    fprintf(stderr, "showmake: %s\n", why.c_str());
    exit(1);
}

std::string smRead(const std::string& path) {
    std::string data;
    int code = 0;
    if (!TryReadFile(path.c_str(), data, &code)) smFail("cannot read " + path);
    return data;
}

void smPut(const ShowMakeDirs& d, const std::string& relPath, const std::string& bytes) {
    std::string path = d.out + "/" + relPath;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::string why;
    if (!TryWriteFileAtomic(path.c_str(), bytes, &why)) smFail("cannot write " + path + ": " + why);
}

void smMakeFont(const ShowMakeDirs& d) {
    FontSet font{};
    FontMakeOptions o = fmDefaultOptions();
    FontMakeReport report{};
    std::string why;
    if (!fmMake(font, smRead(d.font), o, report, why)) smFail(d.font + ": " + why);
    std::filesystem::create_directories(d.out + "/2ddata");
    if (!SaveFont(font, (d.out + "/2ddata/fontset.3f").c_str(), &why)) smFail(why);
    fmRelease(font);
}

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: showmake SOURCE_DIR SHOW_DIR [FONT.ttf]\n");
        return 2;
    }
    ShowMakeDirs d{argv[1], argv[2], argc > 3 ? argv[3] : "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"};
    char* baseArgv[] = {argv[0], nullptr};
    if (!BaseTryBind(BaseDefaultPath(), 1, baseArgv)) smFail(std::string(BaseDefaultPath()) + " not found");
    // The program's own checks throw here instead of ending the process.
    SetFailHook([](FailKind, int code, const char* message) {
        smFail(message && *message ? message : "run-time error " + std::to_string(code));
    });
    smMakeFont(d);
    smMakeTextures(d);
    smMakeLayers(d);
    smMakeScenes(d);
    smPut(d, "2ddata/timeline.cfg", smRead(d.source + "/timeline.cfg"));
    return 0;
}
