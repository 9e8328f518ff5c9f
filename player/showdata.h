// showdata.h - the show's data: eight scenes, 22 layer sets, the music and
// its loudness table, loaded in 43 steps between start-up and play.
//
// The slots live until the process ends; the show parts name them by their
// file stems (ShowScene::kard_anim, ShowLayer::border, ...).
#pragma once

#include <cstdint>

#include "../layers/layers.h"
#include "../scene/scene.h"

namespace ShowScene {
enum Index {
    kard_anim, vexil2_anim, vexildog_anim, vexildog_anim_envmap, controlroom_shadow_optimized, kocka_anim,
    untitled_prefinal, sarkany, Count
};
}

#define SHOW_LAYER_LIST(X) \
    X(eleje) X(fadeout) X(fadein) X(xfade) X(kek2) X(kek1) X(focim) X(border) X(credits) X(kerethatul) \
    X(l128alpha) X(blur_8_full) X(blur_4_full) X(radialblur) X(ketto) X(csont) X(greetings) X(glow_sotetit) \
    X(starmap) X(starmap2) X(vege) X(harom)

namespace ShowLayer {
enum Index {
#define SHOW_LAYER_ENUM(name) name,
    SHOW_LAYER_LIST(SHOW_LAYER_ENUM)
#undef SHOW_LAYER_ENUM
    Count
};
}

const int32_t MusicBandLength = 11442;
const int32_t MusicBands = 12;

extern Scene ShowScenes[ShowScene::Count];
extern InterfaceLayerSet ShowLayers[ShowLayer::Count];
extern uint8_t MusicLevels[MusicBands * MusicBandLength];

// Runs the 43 loading steps, each followed by one loading-screen step.
void LoadShowData();

// File names of the slots, relative to the home folder.
const char* ShowSceneFile(int i);
const char* ShowLayerFile(int i);
extern const char ShowTimelineFile[], ShowLevelsFile[], ShowMusicFile[];
extern const ShortString ShowTexturesFolder;

// Author mode: load a slot's file anew, with the texture set-up and particle
// pool the slot got at loading, and replace the slot only once all of it
// succeeded (the old data and its textures are then given back). A failure
// ends in the loaders' fatal stop or run-time error; under a fail hook that
// throws, the slot and the texture table stay as they were.
void ReplaceShowScene(int i);
void ReplaceShowLayer(int i);

// Reads the loudness table (the first 137304 bytes of the file); a missing or
// short file is a run-time error.
void ReadMusicLevels(const char* fileName);

// Loudness of band 0..11 at the play loop's last frame end time, 0..1. Never reads
// outside the table: a time past its end reads the band's last sample.
float MusicLevel(int32_t band);
