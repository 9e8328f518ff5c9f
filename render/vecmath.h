// vecmath.h - the renderer's vector helpers and the sprite axes.
//
// `Vector` is three 32-bit floats (positions, directions, colours, angle
// triples). Every operation takes its arguments by value and returns a new
// value; only vecZero writes its argument. Matrix work stays on OpenGL's
// stacks: there is no matrix or quaternion arithmetic here. The small
// operations are inline: the geometry precalculation runs them per face.
#pragma once

#include <cmath>

struct Vector {
    float x, y, z;
};

inline void vecZero(Vector& v) { v = Vector{0, 0, 0}; }
inline Vector vecAdd(Vector a, Vector b) { return Vector{a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector vecSub(Vector a, Vector b) { return Vector{a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector vecScale(Vector a, float s) { return Vector{a.x * s, a.y * s, a.z * s}; }
inline Vector vecCross(Vector a, Vector b) {
    return Vector{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Squared in double: a vector of length 1e-30 would underflow to 0 in float
// and then not be normalised.
inline float vecLength(Vector a) {
    double x = a.x, y = a.y, z = a.z;
    return (float)std::sqrt(x * x + y * y + z * z);
}

// a / vecLength(a); (0, 0, 0) when the length is exactly 0.
inline Vector vecNormalize(Vector a) {
    float len = vecLength(a);
    if (len == 0.0f) return Vector{0, 0, 0};
    return Vector{a.x / len, a.y / len, a.z / len};
}

// Camera-facing axes for a sprite: R in the X-Z plane and U, both unit and
// perpendicular to eye - target. False (no basis, draw no sprite) when the
// eye is straight above or below the target along Y.
bool billboardBasis(Vector eye, Vector target, Vector& r, Vector& u);
