// Texture recipes: the layer operations painted onto the canvas.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "texgen.h"

namespace {

const float Pi = 3.14159265358979f;

uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}
float unit(uint32_t h) { return (float)(h >> 8) / 16777216.0f; }  // 0..1

float smooth(float t) { return t * t * (3 - 2 * t); }
float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

TgColor lerp(const TgColor& a, const TgColor& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

// Blends colour `c` with coverage `k` (0..1) into the canvas pixel.
void put(const TgOp& op, float* px, TgColor c, float k) {
    float a = clamp01(c.a * k * op.opacity);
    float* d = px;
    float s[3] = {c.r, c.g, c.b};
    switch (op.blend) {
    case TGB_mix:
        for (int i = 0; i < 3; ++i) d[i] += (s[i] - d[i]) * a;
        d[3] = a + d[3] * (1 - a);
        break;
    case TGB_add:
        for (int i = 0; i < 3; ++i) d[i] = std::min(1.0f, d[i] + s[i] * a);
        d[3] = std::min(1.0f, d[3] + a);
        break;
    case TGB_multiply:
        for (int i = 0; i < 3; ++i) d[i] += (d[i] * s[i] - d[i]) * a;
        break;
    case TGB_screen:
        for (int i = 0; i < 3; ++i) d[i] += (1 - (1 - d[i]) * (1 - s[i]) - d[i]) * a;
        break;
    case TGB_max:
        for (int i = 0; i < 3; ++i) d[i] = std::max(d[i], s[i] * a);
        d[3] = std::max(d[3], a);
        break;
    case TGB_replace:
        for (int i = 0; i < 3; ++i) d[i] = s[i];
        d[3] = a;
        break;
    }
}

// Tileable value noise: `cells` lattice cells across each side, octaves
// doubling the cells and halving the weight.
float valueNoise(float u, float v, int32_t cells, int32_t octaves, uint32_t seed) {
    float sum = 0, weight = 1, total = 0;
    for (int32_t o = 0; o < octaves; ++o) {
        int64_t n = (int64_t)cells << o;
        if (n > 65536) break;
        float x = u * (float)n, y = v * (float)n;
        int64_t x0 = (int64_t)std::floor(x), y0 = (int64_t)std::floor(y);
        float fx = smooth(x - (float)x0), fy = smooth(y - (float)y0);
        auto at = [&](int64_t i, int64_t j) {
            uint32_t xi = (uint32_t)(((i % n) + n) % n), yj = (uint32_t)(((j % n) + n) % n);
            return unit(hash32(xi * 73856093u ^ hash32(yj * 19349663u ^ hash32(seed + (uint32_t)o * 83492791u))));
        };
        float a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
        sum += weight * (a + (b - a) * fx + (c - a) * fy + (a - b - c + d) * fx * fy);
        total += weight;
        weight *= 0.5f;
    }
    return total > 0 ? sum / total : 0;
}

}  // namespace

bool tgPaint(const TexRecipe& r, float* rgba, const std::string& folder, TexError& err) {
    const int32_t w = r.width, h = r.height;
    err = TexError{};
    for (int64_t i = 0; i < (int64_t)w * h; ++i) rgba[i * 4] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 0, rgba[i * 4 + 3] = 1;
    std::vector<float> mask;
    for (int32_t k = 0; k < r.opcount; ++k) {
        const TgOp& op = r.ops[k];
        const TgColor *c = op.color;
        const float* n = op.number;
        if (op.kind == TG_text) {
            mask.assign((size_t)w * h, 0.0f);
            std::string font = str(op.word);
            if (!font.empty() && font[0] != '/' && !folder.empty()) font = folder + "/" + font;
            std::string why;
            if (!tgTextMask(font, n[0], op.text, w, h, mask.data(), why)) {
                err.line = op.line;
                snprintf(err.text, sizeof err.text, "text: %.140s", why.c_str());
                return false;
            }
        }
        if (op.kind == TG_stars) {
            // Points of light at seeded places, each a small soft dot.
            int32_t count = (int32_t)n[0];
            float radius = n[1];
            for (int32_t s = 0; s < count; ++s) {
                uint32_t hs = hash32(op.seed * 2654435761u + (uint32_t)s);
                float sx = unit(hs) * (float)w, sy = unit(hash32(hs + 1)) * (float)h;
                float bright = 0.3f + 0.7f * unit(hash32(hs + 2));
                bright *= bright;
                int32_t x0 = (int32_t)std::floor(sx - radius - 1), x1 = (int32_t)std::ceil(sx + radius + 1);
                int32_t y0 = (int32_t)std::floor(sy - radius - 1), y1 = (int32_t)std::ceil(sy + radius + 1);
                for (int32_t y = std::max(0, y0); y <= std::min(h - 1, y1); ++y)
                    for (int32_t x = std::max(0, x0); x <= std::min(w - 1, x1); ++x) {
                        float dx = (float)x + 0.5f - sx, dy = (float)y + 0.5f - sy;
                        float d = std::sqrt(dx * dx + dy * dy) / (radius + 0.5f);
                        if (d < 1) put(op, rgba + ((size_t)y * w + x) * 4, c[0], bright * (1 - d) * (1 - d));
                    }
            }
            continue;
        }
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                float* px = rgba + ((size_t)y * w + x) * 4;
                // Pixel centres: u, v in 0..1 across the image, top row v near 0.
                float u = ((float)x + 0.5f) / (float)w, v = ((float)y + 0.5f) / (float)h;
                switch (op.kind) {
                case TG_fill: put(op, px, c[0], 1); break;
                case TG_gradient: {
                    float a = n[0] * Pi / 180, dx = std::cos(a), dy = std::sin(a);
                    // Position along the direction, 0 at the first corner it leaves, 1 at the last.
                    float span = std::fabs(dx) + std::fabs(dy);
                    float t = ((u - 0.5f) * dx + (v - 0.5f) * dy) / span + 0.5f;
                    put(op, px, lerp(c[0], c[1], clamp01(t)), 1);
                    break;
                }
                case TG_radial: {
                    float dx = u - 0.5f, dy = v - 0.5f;
                    put(op, px, lerp(c[0], c[1], clamp01(std::sqrt(dx * dx + dy * dy) * 2)), 1);
                    break;
                }
                case TG_noise:
                    put(op, px, lerp(c[0], c[1], valueNoise(u, v, (int32_t)n[0], (int32_t)n[1], op.seed)), 1);
                    break;
                case TG_plasma: {
                    float s = 2 * Pi * n[0], ph = unit(hash32(op.seed)) * 2 * Pi;
                    float t = std::sin(s * u + ph) + std::sin(s * v + 2 * ph) + std::sin(s * (u + v) + 3 * ph) +
                              std::sin(s * (u - v) + ph);
                    put(op, px, lerp(c[0], c[1], 0.5f + 0.5f * std::sin(t * Pi / 2)), 1);
                    break;
                }
                case TG_checkers: {
                    int32_t cells = (int32_t)n[0];
                    int64_t cx = (int64_t)x * cells / w, cy = (int64_t)y * cells / h;
                    put(op, px, c[(cx + cy) & 1], 1);
                    break;
                }
                case TG_dot: {
                    // Full strength inside (1 - softness) of the radius, falling smoothly to 0 at it.
                    float dx = (u - 0.5f) * 2, dy = (v - 0.5f) * 2;
                    float rad = n[0], soft = n[1], d = std::sqrt(dx * dx + dy * dy);
                    float inner = rad * (1 - soft), k2 = 0;
                    if (d <= inner) k2 = 1;
                    else if (d < rad) k2 = smooth(1 - (d - inner) / (rad - inner));
                    put(op, px, c[0], k2);
                    break;
                }
                case TG_spheremap: {
                    // The view reflected off a mirror ball: sky above, ground
                    // below, a highlight where the light is.
                    float sx = u * 2 - 1, sy = 1 - v * 2, d = sx * sx + sy * sy;
                    TgColor out = c[1];
                    if (d <= 1) {
                        float nz = std::sqrt(1 - d);
                        float rx = 2 * nz * sx, ry = 2 * nz * sy, rz = 2 * nz * nz - 1;
                        out = lerp(c[1], c[0], smooth(clamp01(ry * 2 + 0.5f)));
                        float lx = 0.4f, ly = 0.7f, lz = 0.59f;
                        float spec = std::pow(std::max(0.0f, rx * lx + ry * ly + rz * lz), 40.0f);
                        out = lerp(out, c[2], clamp01(spec));
                    }
                    put(op, px, out, 1);
                    break;
                }
                case TG_frame: {
                    float b = n[0];
                    bool edge = (float)x < b || (float)y < b || (float)(w - 1 - x) < b || (float)(h - 1 - y) < b;
                    if (edge) put(op, px, c[0], 1);
                    break;
                }
                case TG_text:
                    if (mask[(size_t)y * w + x] > 0) put(op, px, c[0], mask[(size_t)y * w + x]);
                    break;
                }
            }
    }
    return true;
}
