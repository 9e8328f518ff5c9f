// tracks.h - position tracks: straight-line tracks for objects and lights,
// cubic (Bezier) tracks with ease vectors for the camera.
//
// Keys are in ascending frame order; outside their frame range tracks hold
// their end points. Time is a float in key-frame units.
#pragma once

#include <cstdint>

#include "../scene/scene.h"

// Straight-line value at `time`. Callers evaluate tracks with count >= 1;
// an empty track gives (0, 0, 0).
Vector evalLinearTrack(const TrackKey* keys, int32_t count, float time);

// Cubic value: each segment is a Bezier curve with the control points
// P(s) + E(s) and P(s+1) - E(s+1). A null `ease` counts as all zero.
Vector evalCurveTrack(const TrackKey* keys, const Vector* ease, int32_t count, float time);

// Ease vectors of one track: E(i) = (P(i+1) - P(i-1)) / 6, one-sided at the
// ends; all zero for fewer than two keys.
void computeTrackEase(const TrackKey* keys, Vector* ease, int32_t count);

// Fills the scene's camposease and camtargetease from its camera tracks.
void computeEase(Scene& scene);
