#include "showdata.h"

#include <cstring>

#include "../frame/frame.h"
#include "../render/particles.h"
#include "../scene/scenefile.h"
#include "../sound/sound.h"
#include "loading.h"
#include "show.h"

const char ShowTimelineFile[] = "2ddata/timeline.cfg";
const char ShowLevelsFile[] = "2ddata/music.rms";
const char ShowMusicFile[] = "2ddata/music.ogg";
const ShortString ShowTexturesFolder = S("Textures");

Scene ShowScenes[ShowScene::Count];
InterfaceLayerSet ShowLayers[ShowLayer::Count];
uint8_t MusicLevels[MusicBands * MusicBandLength];

namespace {

const char* const kSceneFiles[ShowScene::Count] = {
    "3ddata/kard_anim.vlm",         "3ddata/vexil2_anim.vlm",
    "3ddata/vexildog_anim.vlm",     "3ddata/vexildog_anim_envmap.vlm",
    "3ddata/controlroom_shadow_optimized.vlm", "3ddata/kocka_anim.vlm",
    "3ddata/untitled_prefinal.vlm", "3ddata/sarkany.vlm",
};

const char* const kLayerFiles[ShowLayer::Count] = {
    "2ddata/eleje.ife",      "2ddata/fadeout.ife",     "2ddata/fadein.ife",      "2ddata/xfade.ife",
    "2ddata/kek2.ife",       "2ddata/kek1.ife",        "2ddata/focim.ife",       "2ddata/border.ife",
    "2ddata/credits.ife",    "2ddata/kerethatul.ife",  "2ddata/128alpha.ife",    "2ddata/blur_8_full.ife",
    "2ddata/blur_4_full.ife", "2ddata/radialblur.ife", "2ddata/ketto.ife",       "2ddata/csont.ife",
    "2ddata/greetings.ife",  "2ddata/glow_sotetit.ife", "2ddata/starmap.ife",    "2ddata/starmap2.ife",
    "2ddata/vege.ife",       "2ddata/harom.ife",
};

// Which scenes get a texture set-up and a particle pool (as LoadShowData
// gives them, for reloads).
const bool kSceneTextures[ShowScene::Count] = {true, true, true, true, true, true, true, false};
const bool kScenePool[ShowScene::Count] = {true, false, true, false, false, true, true, false};
const int32_t kPoolSize = 5000;

const ShortString& kTextures = ShowTexturesFolder;

void step() { LoadingStep(); }

void loadScene(ShowScene::Index i) {
    LoadScene(ShowScenes[i], S(kSceneFiles[i]));
    step();
}
void setupTextures(ShowScene::Index i) {
    SetupSceneTextures(ShowScenes[i], kTextures);
    step();
}
void particles(ShowScene::Index i) {
    allocParticles(ShowScenes[i], kPoolSize);
    step();
}

}  // namespace

void ReadMusicLevels(const char* fileName) {
    std::string data = RtReadFile(fileName);
    if (data.size() < sizeof MusicLevels)
        RunError(100, (std::string("loudness table ") + fileName + " is shorter than 137304 bytes").c_str());
    std::memcpy(MusicLevels, data.data(), sizeof MusicLevels);
}

float MusicLevel(int32_t band) {
    if (band < 0 || band >= MusicBands) return 0;
    int64_t sample = (int64_t)Show.lastframeend * 441 / 10000;
    if (sample < 0) sample = 0;
    if (sample >= MusicBandLength) sample = MusicBandLength - 1;
    return (float)MusicLevels[band * MusicBandLength + sample] / 255;
}

void LoadShowData() {
    using namespace ShowScene;
    loadScene(kard_anim);
    setupTextures(kard_anim);
    particles(kard_anim);
    loadScene(vexil2_anim);
    setupTextures(vexil2_anim);
    loadScene(vexildog_anim);
    setupTextures(vexildog_anim);
    loadScene(vexildog_anim_envmap);
    setupTextures(vexildog_anim_envmap);
    particles(vexildog_anim);
    loadScene(controlroom_shadow_optimized);
    setupTextures(controlroom_shadow_optimized);
    loadScene(kocka_anim);
    setupTextures(kocka_anim);
    particles(kocka_anim);
    loadScene(untitled_prefinal);
    setupTextures(untitled_prefinal);
    particles(untitled_prefinal);
    loadScene(sarkany);  // no textures, no particles
    ReadMusicLevels(ShowLevelsFile);
    step();
    sndLoadMusic(S(ShowMusicFile));
    step();
    for (int i = 0; i < ShowLayer::Count; ++i) {
        ifeLoad(ShowLayers[i], S(kLayerFiles[i]), kTextures);
        step();
    }
}

const char* ShowSceneFile(int i) { return i >= 0 && i < ShowScene::Count ? kSceneFiles[i] : ""; }
const char* ShowLayerFile(int i) { return i >= 0 && i < ShowLayer::Count ? kLayerFiles[i] : ""; }

void ReplaceShowScene(int i) {
    if (i < 0 || i >= ShowScene::Count) return;
    Scene fresh{};
    LoadScene(fresh, S(kSceneFiles[i]));  // a refused file gives its blocks back itself
    if (kSceneTextures[i]) {
        struct Undo {  // a texture the loader cannot read stops the set-up
            Scene* scene;
            ~Undo() {
                if (scene) ReleaseSceneTextures(*scene), ReleaseScene(*scene);
            }
        } undo{&fresh};
        SetupSceneTextures(fresh, kTextures);
        undo.scene = nullptr;
    }
    if (kScenePool[i]) allocParticles(fresh, kPoolSize);
    Scene& old = ShowScenes[i];
    if (kSceneTextures[i]) ReleaseSceneTextures(old);
    freeParticles(old);
    ReleaseScene(old);
    old = fresh;
}

void ReplaceShowLayer(int i) {
    if (i < 0 || i >= ShowLayer::Count) return;
    InterfaceLayerSet fresh{};
    struct Undo {
        InterfaceLayerSet* set;
        ~Undo() {
            if (set) ifeFree(*set);
        }
    } undo{&fresh};
    ifeLoad(fresh, S(kLayerFiles[i]), kTextures);
    undo.set = nullptr;
    ifeFree(ShowLayers[i]);
    ShowLayers[i] = fresh;
}
