// scenedraw_internal.h - pieces the renderer's own sources share (the scene
// draw, flares and picking, particles, shadows); not for other units.
#pragma once

#include <cstdint>

#include "../scene/scene.h"

// The object at `index`, or null outside the table.
SceneObject* sceneObjectAt(Scene& scene, int32_t index);

// The object's material, or null when it names none that exists.
const Material* objectMaterial(const Scene& scene, const SceneObject& o);

// The object's track position at `time`, (0, 0, 0) without keys.
Vector trackOffset(const SceneObject& o, float time);

// Pushes the modelview matrix and moves it by the object's track (when it
// has keys); the caller pops it.
void pushTrackPlacement(const SceneObject& o, float time);

// True when both camera tracks have keys.
bool cameraTracksPresent(const Scene& scene);

// Steps 2-5 of the camera set-up: depth test, texture and projection reset,
// (pick matrix at window point `pick` when given), the 4:3 perspective and
// a uniform scale. Leaves the matrix mode GL_PROJECTION.
void cameraProjection(const Scene& scene, float scale, const int32_t* pick = nullptr);

// gluLookAt from eye to target with +Z up, on the current matrix.
void cameraLookAt(Vector eye, Vector target);

// The object's triangles (rendermode 1: its strip) from the arrays that are
// enabled; nothing when the index array is missing.
void drawObjectGeometry(const SceneObject& o);

// The pass loop: visible objects of pass 0..maxpassno in index order, each
// after its material's alpha test, blend, depth and (with PassDepthFunc)
// depth function. `skip` is an object index left out (-1: none).
enum PassFlags {
    PassDepthFunc = 1,    // the per-material depth function
    PassLightScaled = 2,  // drawObjectLightScaled instead of drawObject
    PassNames = 4,        // glLoadName(index + 1) before each object
};
void runPasses(Scene& scene, float time, int flags, int32_t skip = -1);

// A camera-facing diamond of half-size s at p, from billboardBasis's axes.
void drawSprite(Vector p, Vector r, Vector u, float s);
