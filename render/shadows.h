// shadows.h - stencil shadow volumes for one point light (counted on depth
// pass), and a darkening pass that makes them visible.
//
// castShadowVolumes works on the CPU every call: for each visible object
// that casts shadows it marks the faces turned to the light, finds the
// silhouette edges and extrudes each one away from the light into a quad
// (sides only, no caps). The quads go into the scene's shared buffers
// (`volumearray`, prefilled `volumeindex`) and are drawn twice into the
// stencil buffer, colour and depth writes off. Afterwards a non-zero stencil
// count marks a shadowed pixel; darkenShadows draws over exactly those.
// The unit owns the extrusion factor of the current pass.
#pragma once

#include "../scene/scene.h"

// The extrusion factor k: a far corner lies at 1 + k times the near
// corner's distance from the light. castShadowVolumes copies the scene's
// `shadowlength` here; 1000 until then.
extern float shadowExtrusion;

// The whole pass for a light at `lightPos` (world coordinates). Expects the
// camera's matrices and the scene's depth from a preceding drawScene. Leaves
// the stencil test on (the caller turns it off) and texturing on.
void castShadowVolumes(Scene& scene, Vector lightPos, float time);

// Its three steps per object; `offset` is the object's track position.
// lightvisible[f] = 1 for the faces whose front is turned to the light.
void markLightFacing(SceneObject& object, Vector lightPos, Vector offset);
// contour[f][e] = 1 for each edge of a lit face whose neighbour is unlit or
// missing (a border edge of an open mesh).
void findSilhouette(SceneObject& object);
// One quad per silhouette edge, appended at the scene's shadowquadcount;
// never more than the buffers hold.
void buildVolumeQuads(Scene& scene, SceneObject& object, Vector lightPos, Vector offset);

// Blends black at `strength` (0..1) over every pixel whose stencil count is
// not 0, whatever the matrices hold. Leaves blending and the stencil test
// off and the depth test on.
void darkenShadows(float strength);
