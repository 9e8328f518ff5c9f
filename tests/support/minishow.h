// minishow.h - a complete, tiny show folder made by the tests with the
// project's own writers: eight scenes, the 22 layer files, a font, a short
// Ogg Vorbis tone, a loudness table (`loudness` in every sample) and a
// timeline running part n from (n - 1) s, at part time 0 then, divisors 40.
//
// Looks the tests rely on: every scene but vexildog_anim_envmap (red) is a
// full-bright green box on black, its centre always in view; the particle
// scenes have an emitter above it. greetings.ife covers the screen in
// opaque white, blur_8_full.ife in the frame copy tinted magenta.
// For the traces: a small box hidden in each scene's box and each emitter
// stand at x = time / 1000 and a height of the scene's own; every layer file
// begins with an invisible layer at x = time, y = 100 + its loading place.
#pragma once

#include <string>

#include "showrun.h"

struct MiniShowOptions {
    int loudness = 0;
    bool timeline = true;
};

void PutMiniShow(const ShowHome& home, const MiniShowOptions& options = {});

// Every file, relative to the home folder; the 22 layer files last, in their
// loading order.
std::vector<std::string> MiniShowFiles();

// The drawing steps of a call trace, blank-separated: clear, small (the
// 256 x 256 viewport), full (width x height), copy, stage, depth (a depth
// clear), SCENE@TIME (then fov=DEGREES when not 60), particles:SCENE@TIME
// (the newest particle's) and LAYERFILE@TIME.
std::string DrawingSteps(const std::vector<std::string>& trace, int width, int height);

std::string MiniShowTimeline();
