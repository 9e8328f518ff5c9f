// minishow.h - a complete, tiny show folder made by the tests.
//
// Everything the show data loading names, made with the project's own
// writers: eight small scenes with camera tracks (the four particle scenes
// with an emitter, the environment-mapped one with an environment pass),
// the 22 layer files, a font, a short Ogg Vorbis track, a loudness table and
// a timeline that runs all nine parts, one second each from 0 ms on.
//
// Looks the tests rely on:
//  - every scene but vexildog_anim_envmap is a full-bright green box
//    (tex.tga) on a black frame, seen from a camera that always looks at its
//    centre; vexildog_anim_envmap's box is red;
//  - greetings.ife (part 5) is one opaque white "feher.tga" layer over the
//    whole screen; blur_8_full.ife is one opaque "RT" layer tinted magenta
//    (part 3's loud picture: the green box shows black through it);
//  - every other layer file is one invisible layer whose x position is the
//    time it is drawn at (0 to 1000): glTranslatef(T, 10, 0) in a trace;
//  - the loudness table holds `loudness` (0..255) in every sample of every
//    band.
#pragma once

#include <string>

#include "showrun.h"

struct MiniShowOptions {
    int loudness = 0;       // every sample of the loudness table
    bool timeline = true;   // write the nine-part timeline
};

void PutMiniShow(const ShowHome& home, const MiniShowOptions& options = {});

// Every file of the miniature show, relative to the home folder.
std::vector<std::string> MiniShowFiles();

// The drawing steps of a call trace, one word each: clear, small (the
// 256 x 256 viewport), full (the width x height one), scene, copy, stage,
// depth (a depth clear), particles, and layer@T for a layer of the
// miniature show drawn at time T.
std::vector<std::string> DrawingSteps(const std::vector<std::string>& trace, int width, int height);

// The nine-part timeline: part n from (n - 1) × 1000 ms, offset so that its
// part time starts at 0, divisors 40.
std::string MiniShowTimeline();
