// glbind.h - OpenGL, its extensions and GLU, bound by name at run time.
//
// The unit owns three entry-point tables made from the lists in gl_api.h:
// `GL` (the library opened as "OpenGL32.dll", registry slot 2), `GLU`
// ("glu32.dll", slot 3) and `GLEXT` (through the window manager's loader
// once a context exists), and the extension flags that glInitExt sets.
// Code calls GL as GL.glEnable(GL_BLEND). A missing library or a missing
// entry point of the GL or GLU list ends in FatalStop at binding, so no
// drawing call ever goes through a null slot; an extension slot may be 0
// and its caller tests it.
#pragma once

#include <cstdint>

#include "gl_api.h"

struct GlFunctions {
    void* handle;
#define GL_SLOT(ret, name, params, args) ret(*name) params;
    GL_API_LIST(GL_SLOT)
#undef GL_SLOT
};

// Every GLU name is looked up, in the list's order, into `slot`; the five
// the program calls are typed beside it.
#define GLU_COUNT_ONE(name) +1
const int GluSlotCount = 0 GLU_NAME_LIST(GLU_COUNT_ONE, GLU_COUNT_ONE);
#undef GLU_COUNT_ONE

struct GluFunctions {
    void* handle;
    void* slot[GluSlotCount];
#define GLU_SLOT(ret, name, params, args) ret(*name) params;
    GLU_API_LIST(GLU_SLOT)
#undef GLU_SLOT
};

struct GlExtFunctions {
#define GLEXT_SLOT(ret, name, params, args) ret(*name) params;
    GL_EXT_API_LIST(GLEXT_SLOT)
#undef GLEXT_SLOT
};

extern GlFunctions GL;
extern GluFunctions GLU;
extern GlExtFunctions GLEXT;

// Set by glInitExt from the driver's extension string and format list.
extern bool hasCompiledVertexArray;
extern bool hasTextureCubeMap;
extern bool hasTextureCompression;
extern bool hasMultitexture;
extern bool hasTextureEnvCombine;
extern bool hasTextureEnvDot3;
extern bool hasDXT1;
extern bool hasDXT3;
extern bool hasDXT5;

// The most anisotropy material textures get on this driver; 0 = whatever the
// driver offers. Set by glCheckDriverLimits.
extern float glAnisotropyLimit;

// Registers "GL unit ..." at slot 2 and "GLU unit ..." / "Uninit GLU unit
// ..." at slot 3.
void GlRegisterUnits();

// The init and exit procedures of the two slots.
void GlBind();
void GlUnbind();
void GluBind();
void GluUnbind();

// The extension check: logs each extension, the DXTC formats, sets the flags
// and binds GLEXT. Needs a current GL context (the window opener calls it).
void glInitExt();

// Limits for drivers that need them, from GL_RENDERER, each with a "[gl]"
// line; the window opener calls it right after glInitExt. llvmpipe's
// anisotropic filter walks every texel under a pixel's footprint, without
// bound: on a triangle seen nearly edge-on (its quads reach past the plane's
// horizon, where texture coordinates run to infinity) one frame can take
// minutes. There the limit is 1, plain trilinear filtering.
void glCheckDriverLimits();

// While on, the calls of GL_DRAWING_LIST do nothing: frames run for their
// effects on the show's state (a capture that begins later catches up this
// way) at a fraction of their cost. Off puts the library's calls back.
void glDrawNothing(bool on);

// Address of an extension entry point from the window manager's loader; a
// test may put its own in place. 0 while none is set.
using GlProcLoader = void* (*)(const char* name);
extern GlProcLoader GlExtLoader;
