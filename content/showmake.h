// showmake.h - the default show, made from the sources in content/.
//
// showmake writes a complete show folder: the eight scenes (scenes.cpp, made
// in code with the scene-building library), the 22 layer files (layers.cpp),
// the textures (textures.cpp: recipes in content/textures/ and the text
// cards), the font set and the timeline. The music and its loudness table
// are made by `velmar music render` and `velmar loudness` (CMakeLists.txt).
// Everything is deterministic: the same sources give the same bytes.
#pragma once

#include <string>
#include <vector>

#include "scene/scene.h"

// The folders a run reads from and writes to.
struct ShowMakeDirs {
    std::string source;  // content/
    std::string out;     // the show folder (2ddata/, 3ddata/, Textures/ below it)
    std::string font;    // the TrueType font for titles, glyphs and 3D text
};

// Writes `bytes` to out/relPath; a failure ends the run (exit 1).
void smPut(const ShowMakeDirs& d, const std::string& relPath, const std::string& bytes);
std::string smRead(const std::string& path);
[[noreturn]] void smFail(const std::string& why);

void smMakeScenes(const ShowMakeDirs& d);
void smMakeLayers(const ShowMakeDirs& d);
void smMakeTextures(const ShowMakeDirs& d);
void smMakeFont(const ShowMakeDirs& d);

// Names the show data loading reads, in loading order.
extern const char* const SmSceneNames[8];
extern const char* const SmLayerNames[22];
