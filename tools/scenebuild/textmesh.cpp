// Extruded text: glyph outlines from FreeType, flattened, triangulated into
// front and back caps and joined by side walls that share the caps' corners,
// so the mesh is closed (every edge between exactly two faces) and casts
// shadow volumes.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

#include "scenebuild.h"

namespace {

struct P2 {
    double x, y;
};
using Ring = std::vector<P2>;

struct Flatten {
    std::vector<Ring> rings;
    P2 at{0, 0};
    int steps;
    double ox;  // pen position of the glyph
};

P2 toP(const FT_Vector* v, const Flatten& f) { return {f.ox + (double)v->x, (double)v->y}; }

int moveTo(const FT_Vector* to, void* u) {
    Flatten& f = *(Flatten*)u;
    f.rings.emplace_back();
    f.at = toP(to, f);
    f.rings.back().push_back(f.at);
    return 0;
}
int lineTo(const FT_Vector* to, void* u) {
    Flatten& f = *(Flatten*)u;
    if (f.rings.empty()) f.rings.emplace_back();
    f.at = toP(to, f);
    f.rings.back().push_back(f.at);
    return 0;
}
int conicTo(const FT_Vector* c, const FT_Vector* to, void* u) {
    Flatten& f = *(Flatten*)u;
    if (f.rings.empty()) f.rings.emplace_back();
    P2 a = f.at, b = toP(c, f), e = toP(to, f);
    for (int i = 1; i <= f.steps; ++i) {
        double t = (double)i / f.steps, s = 1 - t;
        f.rings.back().push_back({s * s * a.x + 2 * s * t * b.x + t * t * e.x, s * s * a.y + 2 * s * t * b.y + t * t * e.y});
    }
    f.at = e;
    return 0;
}
int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* u) {
    Flatten& f = *(Flatten*)u;
    if (f.rings.empty()) f.rings.emplace_back();
    P2 a = f.at, b = toP(c1, f), c = toP(c2, f), e = toP(to, f);
    for (int i = 1; i <= f.steps; ++i) {
        double t = (double)i / f.steps, s = 1 - t;
        double k0 = s * s * s, k1 = 3 * s * s * t, k2 = 3 * s * t * t, k3 = t * t * t;
        f.rings.back().push_back({k0 * a.x + k1 * b.x + k2 * c.x + k3 * e.x, k0 * a.y + k1 * b.y + k2 * c.y + k3 * e.y});
    }
    f.at = e;
    return 0;
}

double area(const Ring& r) {
    double a = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        const P2 &p = r[i], &q = r[(i + 1) % r.size()];
        a += p.x * q.y - q.x * p.y;
    }
    return a / 2;
}

bool inside(const Ring& r, P2 p) {
    bool in = false;
    for (size_t i = 0, j = r.size() - 1; i < r.size(); j = i++)
        if ((r[i].y > p.y) != (r[j].y > p.y) &&
            p.x < (r[j].x - r[i].x) * (p.y - r[i].y) / (r[j].y - r[i].y) + r[i].x)
            in = !in;
    return in;
}

double cross(P2 o, P2 a, P2 b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

bool segmentsCross(P2 a, P2 b, P2 c, P2 d) {
    double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// An outer ring (counter-clockwise) with its holes (clockwise) joined into
// one ring of point indices by a bridge to each hole.
std::vector<int32_t> bridge(const std::vector<P2>& pts, std::vector<int32_t> outer,
                            std::vector<std::vector<int32_t>> holes) {
    // Rightmost holes first, so later bridges never cross earlier ones' holes.
    auto maxX = [&](const std::vector<int32_t>& h) {
        double m = -1e300;
        for (int32_t i : h) m = std::max(m, pts[(size_t)i].x);
        return m;
    };
    std::stable_sort(holes.begin(), holes.end(), [&](auto& a, auto& b) { return maxX(a) > maxX(b); });
    for (size_t h = 0; h < holes.size(); ++h) {
        const std::vector<int32_t>& hole = holes[h];
        size_t m = 0;
        for (size_t i = 1; i < hole.size(); ++i)
            if (pts[(size_t)hole[i]].x > pts[(size_t)hole[m]].x) m = i;
        P2 M = pts[(size_t)hole[m]];
        // The nearest corner of the ring that M sees without crossing an edge
        // of the ring or of a hole still to join.
        size_t best = 0;
        double bestD = 1e300;
        for (size_t i = 0; i < outer.size(); ++i) {
            P2 P = pts[(size_t)outer[i]];
            double d = (P.x - M.x) * (P.x - M.x) + (P.y - M.y) * (P.y - M.y);
            if (d >= bestD) continue;
            bool blocked = false;
            for (size_t k = 0; k < outer.size() && !blocked; ++k)
                blocked = segmentsCross(M, P, pts[(size_t)outer[k]], pts[(size_t)outer[(k + 1) % outer.size()]]);
            for (size_t g = h; g < holes.size() && !blocked; ++g)
                for (size_t k = 0; k < holes[g].size() && !blocked; ++k)
                    blocked = segmentsCross(M, P, pts[(size_t)holes[g][k]], pts[(size_t)holes[g][(k + 1) % holes[g].size()]]);
            if (!blocked) best = i, bestD = d;
        }
        std::vector<int32_t> joined(outer.begin(), outer.begin() + (ptrdiff_t)best + 1);
        for (size_t k = 0; k <= hole.size(); ++k) joined.push_back(hole[(m + k) % hole.size()]);
        joined.insert(joined.end(), outer.begin() + (ptrdiff_t)best, outer.end());
        outer.swap(joined);
    }
    return outer;
}

// Ear clipping of a counter-clockwise ring; always ends with n - 2 faces,
// clipping the flattest corner when no clean ear is left.
void earClip(const std::vector<P2>& pts, std::vector<int32_t> ring, std::vector<Face>& out) {
    while (ring.size() > 3) {
        size_t n = ring.size(), pick = n;
        for (size_t i = 0; i < n && pick == n; ++i) {
            int32_t a = ring[(i + n - 1) % n], b = ring[i], c = ring[(i + 1) % n];
            P2 A = pts[(size_t)a], B = pts[(size_t)b], C = pts[(size_t)c];
            if (cross(A, B, C) <= 0) continue;
            bool empty = true;
            for (size_t k = 0; k < n && empty; ++k) {
                int32_t v = ring[k];
                P2 V = pts[(size_t)v];
                if (v == a || v == b || v == c || (V.x == A.x && V.y == A.y) || (V.x == B.x && V.y == B.y) ||
                    (V.x == C.x && V.y == C.y))
                    continue;
                empty = !(cross(A, B, V) >= 0 && cross(B, C, V) >= 0 && cross(C, A, V) >= 0);
            }
            if (empty) pick = i;
        }
        if (pick == n) {
            double most = -1e300;
            for (size_t i = 0; i < n; ++i) {
                double c = cross(pts[(size_t)ring[(i + n - 1) % n]], pts[(size_t)ring[i]], pts[(size_t)ring[(i + 1) % n]]);
                if (c > most) most = c, pick = i;
            }
        }
        out.push_back({ring[(pick + n - 1) % n], ring[pick], ring[(pick + 1) % n]});
        ring.erase(ring.begin() + (ptrdiff_t)pick);
    }
    if (ring.size() == 3) out.push_back({ring[0], ring[1], ring[2]});
}

}  // namespace

Mesh meshText(const std::string& fontData, const char* text, float size, float depth, int curveSteps,
              std::string* why) {
    Mesh m;
    auto failed = [&](const char* reason) {
        if (why) *why = reason;
        return Mesh{};
    };
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) return failed("FreeType does not start");
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(lib, (const FT_Byte*)fontData.data(), (FT_Long)fontData.size(), 0, &face) != 0 ||
        !FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
        if (face) FT_Done_Face(face);
        FT_Done_FreeType(lib);
        return failed("not an outline font FreeType can read");
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    Flatten f{{}, {0, 0}, std::max(1, std::min(64, curveSteps)), 0};
    FT_Outline_Funcs funcs{moveTo, lineTo, conicTo, cubicTo, 0, 0};
    std::vector<std::vector<Ring>> glyphs;
    for (const char* c = text ? text : ""; *c; ++c) {
        FT_UInt index = FT_Get_Char_Index(face, (unsigned char)*c);
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) == 0 &&
            face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            f.rings.clear();
            FT_Outline_Decompose(&face->glyph->outline, &funcs, &f);
            glyphs.push_back(f.rings);
        }
        f.ox += (double)face->glyph->advance.x;
    }
    double scale = size / (double)face->units_per_EM;
    FT_Done_Face(face);
    FT_Done_FreeType(lib);

    // Clean rings: no repeated corners, no closing duplicate, some area.
    std::vector<P2> pts;
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    std::vector<std::vector<Ring>> clean;
    for (auto& rings : glyphs) {
        clean.emplace_back();
        for (Ring& r : rings) {
            Ring c;
            for (P2 p : r)
                if (c.empty() || p.x != c.back().x || p.y != c.back().y) c.push_back(p);
            while (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) c.pop_back();
            if (c.size() < 3 || std::fabs(area(c)) < 1e-9) continue;
            for (P2 p : c) minX = std::min(minX, p.x), maxX = std::max(maxX, p.x), minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
            clean.back().push_back(c);
        }
    }
    double cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
    float zf = depth / 2, zb = -depth / 2;

    for (auto& rings : clean) {
        // Nesting depth decides: even is an outline, odd a hole in it.
        size_t n = rings.size();
        std::vector<int> nest(n, 0);
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j)
                if (i != j && std::fabs(area(rings[j])) > std::fabs(area(rings[i])) && inside(rings[j], rings[i][0])) ++nest[i];
        std::vector<std::vector<int32_t>> ringIdx(n);
        size_t base = pts.size();
        for (size_t i = 0; i < n; ++i) {
            bool ccw = area(rings[i]) > 0;
            if (ccw != (nest[i] % 2 == 0)) std::reverse(rings[i].begin(), rings[i].end());
            for (P2 p : rings[i]) {
                ringIdx[i].push_back((int32_t)pts.size());
                pts.push_back({(p.x - cx) * scale, (p.y - cy) * scale});
            }
        }
        (void)base;
        for (size_t i = 0; i < n; ++i) {
            if (nest[i] % 2) continue;
            std::vector<std::vector<int32_t>> holes;
            for (size_t j = 0; j < n; ++j)
                if (nest[j] == nest[i] + 1 && inside(rings[i], rings[j][0])) holes.push_back(ringIdx[j]);
            std::vector<Face> cap;
            earClip(pts, bridge(pts, ringIdx[i], holes), cap);
            // Front faces use corner 2k, back faces 2k + 1 (turned over).
            for (Face t : cap) {
                m.faces.push_back({2 * t.a, 2 * t.b, 2 * t.c});
                m.faces.push_back({2 * t.a + 1, 2 * t.c + 1, 2 * t.b + 1});
            }
        }
        // Side walls along every ring.
        for (size_t i = 0; i < n; ++i) {
            const std::vector<int32_t>& r = ringIdx[i];
            for (size_t k = 0; k < r.size(); ++k) {
                int32_t a = r[k], b = r[(k + 1) % r.size()];
                m.faces.push_back({2 * a, 2 * a + 1, 2 * b + 1});
                m.faces.push_back({2 * a, 2 * b + 1, 2 * b});
            }
        }
    }
    if (m.faces.empty()) {
        if (why) *why = "the text has no outline";
        return Mesh{};
    }
    // Corners: front and back of each point; normals lean out of the outline.
    std::vector<Vector> out(pts.size(), Vector{0, 0, 0});
    for (const Face& t : m.faces) {
        if ((t.a & 1) != (t.b & 1) || (t.b & 1) != (t.c & 1)) {
            // A side face: its outward direction in the plane.
            P2 a = pts[(size_t)(t.a / 2)], b = pts[(size_t)(t.c / 2)];
            // Unit lengths: the sum at a corner is then its bisector, which
            // never points against either side it joins.
            Vector o = vecNormalize(Vector{(float)(b.y - a.y), (float)(a.x - b.x), 0});
            for (int32_t v : {t.a / 2, t.b / 2, t.c / 2}) out[(size_t)v] = vecAdd(out[(size_t)v], o);
        }
    }
    for (size_t i = 0; i < pts.size(); ++i) {
        Vector o = vecNormalize(out[i]);
        float u = (float)((pts[i].x - (minX - cx) * scale) / ((maxX - minX) * scale + 1e-9));
        float v = (float)((pts[i].y - (minY - cy) * scale) / ((maxY - minY) * scale + 1e-9));
        m.vertices.push_back({(float)pts[i].x, (float)pts[i].y, zf});
        m.normals.push_back(vecNormalize(vecAdd(o, Vector{0, 0, 1})));
        m.uvs.push_back({u, v});
        m.vertices.push_back({(float)pts[i].x, (float)pts[i].y, zb});
        m.normals.push_back(vecNormalize(vecAdd(o, Vector{0, 0, -1})));
        m.uvs.push_back({u, v});
    }
    if (why) why->clear();
    return m;
}
