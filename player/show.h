// show.h - the show player's main program.
//
// Owns the show-wide play state (`Show`) and the timeline read at the start
// of play. ShowRegisterUnits makes every unit's registrations (the frame has
// made slots 0 and 1); ShowMain runs the init procedures, opens the window,
// sets the GL state, loads the show, runs the play loop and the shut-down,
// and ends the process through the exit run.
#pragma once

#include <cstdint>

#include "../frame/shortstring.h"
#include "timeline.h"

struct ShowState {
    int32_t totalframes;    // frames drawn since play began
    int32_t fpsframes;      // frames since the last fps update
    int32_t lastfpsupdate;  // clock of the last fps update, ms
    ShortString fpstext;    // "0.0" at play start
    ShortString afpstext;   // average since play began
    ShortString statustext; // title and overlay text (the loading screen's line too)
    int32_t lastframeend;   // clock read after the previous frame was presented
    bool quit;              // Escape seen
    bool overlayshown;
    uint8_t prevspace;      // Space key state of the previous frame
    bool video;
    // A capture of part of the show (--from, --to) or of its sound alone
    // (--sound-only): frames before `drawfrom` run without drawing.
    int32_t endtime;        // play ends at this clock (0: ShowEndTime)
    int32_t drawfrom;       // first clock drawn whole; -1 every frame
    bool drawnothing;       // --sound-only: no frame is drawn
};
extern ShowState Show;
extern Timeline ShowTimeline;

const int32_t ShowEndTime = 250000;  // ms

void ShowRegisterUnits();
[[noreturn]] void ShowMain();

// Pieces of ShowMain.
void ShowSetGlState();   // start-up step 6
void ShowStartPlay();    // from the play counters to the clock reset
bool ShowPlayEnds();     // the checks made before every frame
// False for a frame a partial capture runs without drawing (GL's drawing
// calls do nothing then; the frame still sets the show's state).
bool ShowFrameDrawn(int32_t t);
void ShowFrame();        // one frame of the play loop

// A rate with one digit after the point, no leading blanks ("57.3").
ShortString OneDecimal(double value);
