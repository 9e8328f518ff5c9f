#include "tracks.h"

namespace {

// The segment of `time`: -1 before (or at) the first key, -2 at or after the
// last, else s with f(s) <= t < f(s+1). With frames out of order several
// segments may match; the last one wins. d and D are set for a segment.
int32_t findSegment(const TrackKey* keys, int32_t n, float t, float& d, float& span) {
    if (t <= (float)keys[0].frame) return -1;
    if (t >= (float)keys[n - 1].frame) return -2;
    int32_t seg = -1;
    for (int32_t s = 0; s + 1 < n; ++s)
        if ((float)keys[s].frame <= t && t < (float)keys[s + 1].frame) seg = s;
    if (seg < 0) return -1;  // only a NaN time gets here
    d = t - (float)keys[seg].frame;
    // The difference of the two int32 frames, taken without overflow.
    span = (float)((int64_t)keys[seg + 1].frame - (int64_t)keys[seg].frame);
    return seg;
}

}  // namespace

Vector evalLinearTrack(const TrackKey* keys, int32_t count, float time) {
    if (!keys || count <= 0) return Vector{0, 0, 0};
    float d = 0, span = 1;
    int32_t s = findSegment(keys, count, time, d, span);
    if (s == -1) return keys[0].point;
    if (s == -2) return keys[count - 1].point;
    Vector a = keys[s].point, b = keys[s + 1].point;
    return Vector{a.x + (b.x - a.x) * d / span, a.y + (b.y - a.y) * d / span, a.z + (b.z - a.z) * d / span};
}

Vector evalCurveTrack(const TrackKey* keys, const Vector* ease, int32_t count, float time) {
    if (!keys || count <= 0) return Vector{0, 0, 0};
    float d = 0, span = 1;
    int32_t s = findSegment(keys, count, time, d, span);
    if (s == -1) return keys[0].point;
    if (s == -2) return keys[count - 1].point;
    float u = d / span, v = 1.0f - u;
    float b0 = v * v * v, b1 = 3.0f * v * v * u, b2 = 3.0f * v * u * u, b3 = u * u * u;
    Vector p0 = keys[s].point, p1 = keys[s + 1].point;
    Vector e0 = ease ? ease[s] : Vector{0, 0, 0}, e1 = ease ? ease[s + 1] : Vector{0, 0, 0};
    Vector c0 = vecAdd(p0, e0), c1 = vecSub(p1, e1);
    return Vector{b0 * p0.x + b1 * c0.x + b2 * c1.x + b3 * p1.x, b0 * p0.y + b1 * c0.y + b2 * c1.y + b3 * p1.y,
                  b0 * p0.z + b1 * c0.z + b2 * c1.z + b3 * p1.z};
}

void computeTrackEase(const TrackKey* keys, Vector* ease, int32_t count) {
    if (!ease || count <= 0) return;
    if (count < 2) {
        for (int32_t i = 0; i < count; ++i) ease[i] = Vector{0, 0, 0};
        return;
    }
    auto sixth = [](Vector a, Vector b) { return Vector{(a.x - b.x) / 6.0f, (a.y - b.y) / 6.0f, (a.z - b.z) / 6.0f}; };
    ease[0] = sixth(keys[1].point, keys[0].point);
    ease[count - 1] = sixth(keys[count - 1].point, keys[count - 2].point);
    for (int32_t i = 1; i + 1 < count; ++i) ease[i] = sixth(keys[i + 1].point, keys[i - 1].point);
}

void computeEase(Scene& scene) {
    computeTrackEase(scene.camposkeys, scene.camposease, scene.camposkeycount);
    computeTrackEase(scene.camtargetkeys, scene.camtargetease, scene.camtargetkeycount);
}
