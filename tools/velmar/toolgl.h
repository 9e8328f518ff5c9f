// toolgl.h - a GL context for tools that draw or upload textures.
//
// The window and the GL as the program makes them, headless (SDL's offscreen
// driver), closed again however the command ends.
#pragma once

#include <string>

struct ToolGl {
    bool tl = false, window = false, gl = false;
    ~ToolGl();
};

// Opens a w x h context; with `textures` the texture loader is bound and the
// texture table reset. Fails with one line (toolFail).
void toolOpenGl(ToolGl& g, int w, int h, bool textures);

// The folder of a path ("." for a bare name).
std::string toolFolderOf(const std::string& path);

// "Textures" beside the scene's folder: scenes live in 3ddata/, pictures in
// Textures/ next to it.
std::string toolDefaultTextures(const std::string& scenePath);
