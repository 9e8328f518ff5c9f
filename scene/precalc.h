// precalc.h - geometry worked out once after a scene is loaded, so that the
// shadow pass only compares faces with the light each frame.
#pragma once

#include "scene.h"

// Reserves lightvisible, contour, facecenters and facenormals (facecount
// entries each, in that order) and fills the normals and centres. The normal
// of face (a, b, c) is normalise((Va - Vb) x (Vc - Vb)).
void PrepareObjectGeometry(SceneObject& object);

// Edge adjacency from `origfaces` into a new `neighbours` block: face i's
// edge k gets the lowest-numbered later face j that has the same edge
// (either corner order), unless a lower face already claimed it; that face
// j's matching edges get i, overwriting what they held. This is exactly the
// result of the pairwise search over all face pairs i < j, found through an
// edge hash in time linear in the face count.
void FindNeighbours(SceneObject& object);

// Reserves volumearray (12 Vectors per face of the whole scene) and
// volumeindex (6 triples per face) and fills the index: quad q is the
// triangles (4q, 4q+1, 4q+2) and (4q+2, 4q+3, 4q).
void PrepareVolumes(Scene& scene);

// Asks the system to back a large block the loader is about to fill with
// huge pages: far fewer page faults for the same bytes. Small blocks and
// systems without the feature are left as they are.
void AdviseLargeBlock(void* block, size_t bytes);
