// scenedraw.h - the scene renderer: camera set-up and the scene draw.
//
// The renderer owns the camera of the current frame (`cameraEye`,
// `cameraTarget`, written only by setupCamera) and `worldScale`; its
// switches live in settings.h, particles in particles.h, stencil shadow
// volumes in shadows.h. Everything is drawn through the GL binding tables
// (glbind.h) straight from the scene's own arrays: one glDrawElements per
// object (two with an environment map), state set per object from its
// material, no caching, no sorting, no display lists.
//
// Time is a float in key-frame units. A scene without both camera tracks
// cannot be drawn: the draw ends in FatalStop.
#pragma once

#include <cstdint>

#include "../frame/shortstring.h"
#include "../scene/scene.h"

extern Vector cameraEye;     // eye of the last setupCamera
extern Vector cameraTarget;  // look-at point of the last setupCamera
extern float worldScale;     // uniform scale after the projection; 1.0

// The two texts of a scene without camera tracks.
extern const char CameraMissingDraw[];  // the draw (uppercase engine name)
extern const char CameraMissingOnly[];  // the camera-only set-ups

// Depth test on; texture and projection matrices reset; the fixed 4:3
// perspective scaled by worldScale; cameraEye/cameraTarget from the camera
// tracks at `time`; the modelview holds the look-at (up +Z).
void setupCamera(Scene& scene, float time);

// Clear colour black, then colour and depth, then stencil.
void clearFrame();

// The whole scene: camera, the eight lights, the wire overlays, then every
// visible object pass by pass (0..maxpassno, index order within a pass) with
// its material's alpha test, blending, depth test and depth function.
void drawScene(Scene& scene, float time);

// One object with its material's state. An index outside the object table,
// or an object naming no existing material, draws nothing.
void drawObject(Scene& scene, int32_t index, float time);

// Lines along every face edge in grey (alpha 1), moved by the object's track
// only. Line width 2, depth function GL_LESS even for a bad index.
void drawWireOverlay(Scene& scene, int32_t index, float time, float grey);

// ---------------------------------------------------------- further entry points

// drawScene without the per-material depth function.
void drawSceneNoDepthFunc(Scene& scene, float time);

// drawScene with the lights placed under the modelview current on entry
// (before the look-at) and objects drawn by drawObjectLightScaled.
void drawSceneEyeLights(Scene& scene, float time);

// The older object draw: no fog, anisotropy or texture scrolling, an
// additive environment pass; `scalematerial` objects have their diffuse and
// specular colours multiplied by the scene's materialscale and take the
// scaled diffuse colour as base colour.
void drawObjectLightScaled(Scene& scene, int32_t index, float time);

// The camera from its tracks (or the given points) with a projection scale
// of 1e-5 and the look-at multiplied onto the projection; the modelview is
// identity afterwards. cameraEye/cameraTarget stay as they are.
void setupCameraOnly(Scene& scene, float time);
void setupCameraAt(Scene& scene, Vector eye, Vector target);

// setupCameraOnly, projection scaled by (sx, sy, sz); every object but
// `index` drawn, then `index` additively at time 0 with the projection's Z
// turned over, then the others again. `k` is kept (highlightFactor) only.
void drawSceneHighlight(Scene& scene, float time, float sx, float sy, float sz, float k, int32_t index);
extern float highlightFactor;

// Flares: objects whose material has flaresize > 0. The probe hides them
// from the pass loop, draws a point for each over black silhouettes of the
// other objects and reads back each point's brightness into `flarecolor`;
// drawFlares draws an additive sprite of that colour for each.
void drawFlareProbe(Scene& scene, float time);
void drawFlares(Scene& scene, float time);

// The object in black, untextured and unlit, moved by its track only.
void drawSilhouetteBlack(Scene& scene, int32_t index, float time);

// Selection pass at window point (x, y) (GL window coordinates, origin at
// the lower left): the name (object index + 1) of the nearest hit, 0 when
// nothing is hit.
int32_t pickObject(Scene& scene, float time, int32_t x, int32_t y);

// Set or clear `visible` of every object whose name equals `name` exactly.
void showObjects(Scene& scene, const ShortString& name);
void hideObjects(Scene& scene, const ShortString& name);

// Index of the last object named `name`; NoObject when none is.
const int32_t NoObject = 65535;
int32_t findObject(const Scene& scene, const ShortString& name);
