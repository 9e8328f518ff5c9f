// The 22 layer files. Every part runs its time from 0 to 1000 (timeline.cfg),
// so the keys here are in those units: fades sit at the ends, cards near the
// start, and the sets drawn at fixed or loudness-driven times (blur, glow,
// radial blur) are written for those times.
#include <cmath>
#include <cstdio>
#include <vector>

#include "showmake.h"

namespace {

struct Key {
    int t;
    float x, y;
    int ease;
    float angle, w, h, r, g, b, a;
};

struct Layer {
    std::string texture;
    int blend;  // 0 off, 1 add, 2 alpha, 3 inverse alpha, 4 colour
    std::vector<Key> keys;
};

std::string num(float v) {
    char b[32];
    snprintf(b, sizeof b, "%.2f", (double)v);
    std::string s = b;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string ife(const char* what, const std::vector<Layer>& layers) {
    std::string out = std::string("# ") + what + "\n" + std::to_string(layers.size()) + "\n0\n";
    for (const Layer& l : layers) {
        out += "# layer\n" + l.texture + "\n\n\n" + std::to_string(l.keys.size()) + "\n" + std::to_string(l.blend) + "\n";
        for (const Key& k : l.keys)
            out += std::to_string(k.t) + " " + num(k.x) + " " + num(k.y) + " " + std::to_string(k.ease) + " " +
                   num(k.angle) + " " + num(k.w) + " " + num(k.h) + " " + num(k.r) + " " + num(k.g) + " " +
                   num(k.b) + " " + num(k.a) + "\n";
    }
    return out;
}

// A full-screen key.
Key full(int t, float r, float g, float b, float a) { return {t, 512, 384, 0, 0, 1024, 768, r, g, b, a}; }

// A plain-colour fade between two alphas.
Layer fade(int t0, float a0, int t1, float a1, float grey = 0) {
    return {"feher.tga", 2, {full(t0, grey, grey, grey, a0), full(t1, grey, grey, grey, a1)}};
}

// A card that fades in over [in, in + 40] and out over [out, out + 40],
// drifting slightly to the left while it stands.
Layer card(const char* tex, float y, float w, float h, int in, int out, float r = 255, float g = 255,
           float b = 255) {
    return {tex, 2,
            {{in, 530, y, 1, 0, w * 1.15f, h * 1.15f, r, g, b, 0},
             {in + 40, 516, y, 0, 0, w, h, r, g, b, 255},
             {out, 508, y, 2, 0, w, h, r, g, b, 255},
             {out + 40, 490, y, 0, 0, w * 0.95f, h * 0.95f, r, g, b, 0}}};
}

Layer vignette() { return {"vignette.tga", 2, {full(0, 255, 255, 255, 230)}}; }

// Copies of the frame texture, added: `count` layers pushed apart by
// `spread` screen units at time `t0` and by `spread1` at `t1`, each of
// brightness `level` (0..255).
std::vector<Layer> blurSet(int count, int t0, float spread0, int t1, float spread1, float level) {
    std::vector<Layer> out;
    for (int i = 0; i < count; ++i) {
        float a = 6.2831853f * (float)i / (float)count;
        float dx = std::cos(a), dy = std::sin(a);
        out.push_back({"RT", 1,
                       {{t0, 512 + dx * spread0, 384 + dy * spread0, 0, 0, 1024 + spread0, 768 + spread0, level,
                         level, level, 255},
                        {t1, 512 + dx * spread1, 384 + dy * spread1, 0, 0, 1024 + spread1, 768 + spread1, level,
                         level, level, 255}}});
    }
    return out;
}

}  // namespace

void smMakeLayers(const ShowMakeDirs& d) {
    auto put = [&](const char* name, const std::string& text) { smPut(d, std::string("2ddata/") + name + ".ife", text); };

    put("eleje", ife("eleje: the opening titles over the sword",
                     {vignette(), card("t_presents.tga", 430, 1024, 128, 60, 380, 255, 230, 200),
                      card("t_realtime.tga", 350, 1024, 64, 160, 400, 200, 210, 255),
                      card("t_title.tga", 400, 1024, 256, 620, 900, 255, 210, 140)}));
    put("fadeout", ife("fadeout: to black over the last 6 %", {fade(940, 0, 1000, 255)}));
    put("fadein", ife("fadein: from black over the first 6 %", {fade(0, 255, 60, 0)}));
    put("xfade", ife("xfade: a white flash to open a part, black to close it",
                     {fade(0, 220, 30, 0, 255), fade(970, 0, 1000, 255)}));

    // The border: letterbox bars and lines; a light runs along the lower
    // line only when the set is drawn at a moving time (the creature's part).
    Layer bars{"feher.tga", 0, {{0, 512, 738, 0, 0, 1024, 60, 0, 0, 0, 255}}};
    Layer bars2{"feher.tga", 0, {{0, 512, 30, 0, 0, 1024, 60, 0, 0, 0, 255}}};
    Layer line{"feher.tga", 2, {{0, 512, 708, 0, 0, 1024, 2, 80, 160, 255, 160}}};
    Layer line2{"feher.tga", 2, {{0, 512, 60, 0, 0, 1024, 2, 80, 160, 255, 160}}};
    Layer runner{"feher.tga", 1, {}};
    for (int i = 0; i < 4; ++i) {
        runner.keys.push_back({i * 250 + 1, -150, 60, 0, 0, 240, 4, 0, 0, 0, 255});
        runner.keys.push_back({i * 250 + 10, -150, 60, 0, 0, 240, 4, 120, 200, 255, 255});
        runner.keys.push_back({i * 250 + 240, 1174, 60, 0, 0, 240, 4, 120, 200, 255, 255});
        runner.keys.push_back({i * 250 + 249, 1174, 60, 0, 0, 240, 4, 0, 0, 0, 255});
    }
    runner.keys.insert(runner.keys.begin(), {0, -150, 60, 0, 0, 240, 4, 0, 0, 0, 255});
    put("border", ife("border: letterbox bars and lines, drawn over every part", {bars, bars2, line, line2, runner}));

    put("kek2", ife("kek2: the credits' blue ground, turning",
                    {{"plasma_blue.tga", 0,
                      {{0, 512, 384, 0, -8, 1500, 1500, 200, 200, 255, 255},
                       {1000, 512, 384, 0, 14, 1700, 1700, 200, 200, 255, 255}}}}));
    put("kek1", ife("kek1: a violet plasma added over the blue",
                    {{"plasma_violet.tga", 1,
                      {{0, 400, 300, 0, 20, 1800, 1800, 150, 150, 150, 255},
                       {1000, 620, 460, 0, -25, 1600, 1600, 150, 150, 150, 255}}},
                     {"starfield.tga", 1,
                      {{0, 512, 384, 0, 0, 1100, 1100, 255, 255, 255, 255},
                       {1000, 512, 384, 0, 10, 1500, 1500, 255, 255, 255, 255}}},
                     vignette()}));
    put("focim", ife("focim: the main title", {card("t_title.tga", 560, 1024, 256, 0, 930, 255, 220, 150),
                                               card("t_subtitle.tga", 440, 1024, 64, 80, 930, 200, 220, 255)}));
    put("credits", ife("credits: one line after another",
                       {card("c_code.tga", 330, 1024, 64, 220, 900), card("c_music.tga", 270, 1024, 64, 340, 900),
                        card("c_gfx.tga", 210, 1024, 64, 460, 900), card("c_type.tga", 150, 1024, 64, 580, 900)}));
    put("kerethatul", ife("kerethatul: the frame behind the logo",
                          {{"kerethatul.tga", 0,
                            {{0, 512, 384, 0, 0, 1100, 1100, 180, 180, 220, 255},
                             {1000, 512, 384, 0, 30, 1500, 1500, 180, 180, 220, 255}}},
                           {"grid.tga", 1,
                            {{0, 512, 200, 0, 0, 2048, 1024, 40, 80, 120, 255},
                             {1000, 512, 260, 0, 0, 2400, 1200, 40, 80, 120, 255}}}}));
    put("128alpha", ife("128alpha: half-transparent black (kept for authors; no part draws it)",
                        {fade(0, 128, 1000, 128)}));
    // Part 3 draws it at 1000 - 1000 L (loud: early times, wide blur) on a
    // cleared frame; part 6 at 0 over its picture, as a glow.
    put("blur_8_full", ife("blur_8_full: eight frame copies, wide apart when loud",
                           blurSet(8, 0, 28, 800, 3, 34)));
    put("blur_4_full", ife("blur_4_full: four frame copies, the cube field's glow", blurSet(4, 0, 24, 1000, 8, 44)));
    {
        std::vector<Layer> rays;
        for (int i = 1; i <= 6; ++i) {
            float s = 1 + 0.08f * (float)i, lvl = 70.0f / (float)i;
            rays.push_back({"RT", 1,
                            {{0, 512, 384, 0, 0, 1024 * s * 1.2f, 768 * s * 1.2f, lvl, lvl, lvl, 255},
                             {1000, 512, 384, 0, 0, 1024 * s, 768 * s, 0, 0, 0, 255}}});
        }
        put("radialblur", ife("radialblur: zooming frame copies, strong at early times (loud music)", rays));
    }
    put("ketto", ife("ketto: the emblem's card", {card("p_emblem.tga", 110, 1024, 96, 20, 220, 170, 210, 255)}));
    put("csont", ife("csont: the creature's card over a bone-white haze",
                     {{"bone.tga", 2, {full(0, 255, 255, 255, 0), full(100, 255, 255, 255, 60), full(1000, 255, 255, 255, 30)}},
                      vignette(), card("p_creature.tga", 110, 1024, 96, 20, 220, 255, 220, 170)}));
    {
        std::vector<Layer> g = {
            {"starfield.tga", 0,
             {{0, 512, 384, 0, 0, 1400, 1400, 255, 255, 255, 255}, {1000, 512, 384, 0, 25, 1400, 1400, 255, 255, 255, 255}}},
            {"plasma_violet.tga", 1,
             {{0, 512, 384, 0, 0, 1600, 1600, 60, 40, 90, 255}, {1000, 512, 384, 0, -30, 1900, 1900, 60, 40, 90, 255}}},
            card("g_head.tga", 600, 1024, 96, 30, 900, 255, 210, 140)};
        const char* lines[] = {"g_1.tga", "g_2.tga", "g_3.tga", "g_4.tga", "g_5.tga"};
        for (int i = 0; i < 5; ++i) {
            int t0 = 80 + i * 150;
            g.push_back({lines[i], 2,
                         {{t0, 512, 60, 0, 0, 1024, 64, 200, 220, 255, 0},
                          {t0 + 40, 512, 140, 0, 0, 1024, 64, 200, 220, 255, 255},
                          {t0 + 300, 512, 460, 0, 0, 1024, 64, 200, 220, 255, 255},
                          {t0 + 360, 512, 540, 0, 0, 1024, 64, 200, 220, 255, 0}}});
        }
        g.push_back(fade(0, 255, 40, 0));
        g.push_back(fade(960, 0, 1000, 255));
        put("greetings", ife("greetings: rising lines over the stars, with their own fades", g));
    }
    put("glow_sotetit", ife("glow_sotetit: darkens the small picture so that only its lights glow",
                            {{"feher.tga", 2,
                              {full(0, 0, 0, 0, 90), full(200, 0, 0, 0, 140), full(500, 0, 0, 0, 170),
                               full(1000, 0, 0, 0, 220)}}}));
    put("starmap", ife("starmap: turning stars and the control room's card",
                       {{"starfield.tga", 1,
                         {{0, 512, 384, 0, 0, 1400, 1400, 110, 110, 130, 255},
                          {1000, 512, 384, 0, 40, 1400, 1400, 110, 110, 130, 255}}},
                        vignette(), card("p_control.tga", 110, 1024, 96, 20, 220, 150, 255, 180)}));
    put("starmap2", ife("starmap2: stars rushing past and the field's card",
                        {{"starfield.tga", 1,
                          {{0, 512, 384, 0, 0, 1024, 1024, 100, 100, 120, 255},
                           {1000, 512, 384, 0, -20, 3000, 3000, 100, 100, 120, 255}}},
                         {"starfield.tga", 1,
                          {{0, 512, 384, 0, 90, 600, 600, 80, 60, 120, 255},
                           {1000, 512, 384, 0, 60, 2000, 2000, 80, 60, 120, 255}}},
                         card("p_field.tga", 110, 1024, 96, 20, 220, 200, 170, 255)}));
    put("harom", ife("harom: the sculpture's card", {vignette(), card("p_sculpture.tga", 110, 1024, 96, 20, 220, 255, 200, 150)}));
    put("vege", ife("vege: the dragon's card and the end titles",
                    {vignette(), card("p_dragon.tga", 110, 1024, 96, 20, 220, 255, 170, 120),
                     card("t_end.tga", 430, 1024, 192, 760, 1000, 255, 220, 160),
                     card("t_thanks.tga", 320, 1024, 64, 820, 1000, 200, 210, 255)}));
}
