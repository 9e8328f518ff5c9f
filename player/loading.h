// loading.h - the loading screen and the status overlay.
//
// The loading step shows one more of the 43 loading steps (a progress line
// at the bottom of the window and in its title); the status overlay draws
// the play loop's status text with the twelve music-level bars while it is
// shown. Both write with the show's font in the same place and style.
#pragma once

#include <cstdint>

#include "../frame/shortstring.h"

extern int32_t LoadingStepCount;

// The progress text of step `step` (" loading : 47 %  [#####-----]").
ShortString LoadingText(int32_t step);

// The stage the line is drawn on: depth cleared, lighting and culling off,
// texture and projection matrices identity, the modelview pushed and
// identity (the caller pops it).
void TextStage();

void LoadingStep();
void DrawStatusOverlay(const ShortString& statusText);
// Author mode's status line, small, at the top of the picture.
void DrawAuthorLine(const ShortString& text);
