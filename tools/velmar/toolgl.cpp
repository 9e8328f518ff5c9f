#include "toolgl.h"

#include <stdlib.h>

#include "../../frame/frame.h"
#include "../../frame/wm.h"
#include "../../glbind/glbind.h"
#include "../../textures/texman.h"
#include "tool.h"

ToolGl::~ToolGl() {
    if (tl) TlUnbind();
    if (window) WmUnbind();
    if (gl) GluUnbind(), GlUnbind();
}

void toolOpenGl(ToolGl& g, int w, int h, bool textures) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Base.BS_CfgAdd("--width", std::to_string(w).c_str());
    Base.BS_CfgAdd("--height", std::to_string(h).c_str());
    WmBind();
    g.window = true;
    GlBind();
    GluBind();
    g.gl = true;
    if (OpenWindow("velmar") != 0) toolFail("cannot open a window with an OpenGL context");
    if (WindowWidth() < w || WindowHeight() < h)
        toolFail("the window is " + std::to_string(WindowWidth()) + "x" + std::to_string(WindowHeight()) +
                 ", smaller than the picture");
    if (textures) {
        TlBind();
        g.tl = true;
        tmReset();
        tmSetLoaderOptions(0);
    }
}

std::string toolFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string toolDefaultTextures(const std::string& scenePath) {
    return toolFolderOf(toolFolderOf(scenePath)) + "/Textures";
}
