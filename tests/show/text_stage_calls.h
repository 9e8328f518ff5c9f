// text_stage_calls.h - the calls of the stage the status line is drawn on
// (depth cleared, lighting and culling off, texture and projection identity,
// modelview pushed and identity), as the recording GL writes them.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> TextStageCalls() {
    return {
        "glClear(GL_DEPTH_BUFFER_BIT)", "glDisable(GL_LIGHTING)", "glDisable(GL_CULL_FACE)",
        "glMatrixMode(GL_TEXTURE)",     "glLoadIdentity()",       "glMatrixMode(GL_PROJECTION)",
        "glLoadIdentity()",             "glMatrixMode(GL_MODELVIEW)", "glPushMatrix()",
        "glLoadIdentity()",
    };
}
