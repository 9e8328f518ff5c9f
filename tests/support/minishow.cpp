#include "minishow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "glwindow.h"
#include "player/font.h"
#include "scene/scenefile.h"
#include "tools/scenebuild/scenebuild.h"
#include "tools/synth/audio.h"

namespace {

const char* const kScenes[] = {"kard_anim", "vexil2_anim", "vexildog_anim", "vexildog_anim_envmap",
                               "controlroom_shadow_optimized", "kocka_anim", "untitled_prefinal", "sarkany"};
const char* const kLayers[] = {"eleje", "fadeout", "fadein", "xfade", "kek2", "kek1", "focim", "border",
                               "credits", "kerethatul", "128alpha", "blur_8_full", "blur_4_full", "radialblur",
                               "ketto", "csont", "greetings", "glow_sotetit", "starmap", "starmap2", "vege", "harom"};

// x = time / 1000 at the height of scene `id`, in its box for times within +-2000.
std::vector<TrackKey> timeTrack(int id, float z) {
    float y = id * 0.25f - 1;
    return {{-10000, {-10, y, z}}, {10000, {10, y, z}}};
}

std::string sceneFile(int id) {
    Scene s;
    sbBegin(s, kScenes[id]);
    int32_t mat = sbMaterial(s, "paint", id == 3 ? "red.tga" : "tex.tga");
    Material& m = sbMat(s, mat);
    m.receivelight = false;  // the texture's colour as it is
    m.ambient = {1, 1, 1};
    m.envmap = id == 3;
    m.envmaptexture = S(id == 3 ? "env.tga" : "");
    sbObjectTrack(s, sbObject(s, "marker", mat, meshBox({0.05f, 0.05f, 0.05f})), timeTrack(id, 0));
    sbObject(s, "box", mat, meshBox({4, 4, 4}));
    if (id == 0 || id == 2 || id == 5 || id == 6) {  // the particle scenes
        int32_t e = sbObject(s, "emitter", sbMaterial(s, "spark", ""), meshBox({0.2f, 0.2f, 0.2f}));
        sbObj(s, e).visible = false;
        sbObjectTrack(s, e, timeTrack(id, 3));
        sbEmitter(s, e, EmitterSettings{.texture = "spark.tga"});
    }
    sbCamera(s, {{0, {12, 0, 4}}, {500, {0, 12, 4}}, {1000, {-12, 0, 4}}}, {{0, {0, 0, 0}}, {1000, {0, 0, 0}}});
    sbLight(s, 0, "sun", {10, 10, 20});
    sbFinish(s);
    std::string bytes = SaveSceneData(s);
    ReleaseScene(s);
    return bytes;
}

std::string layerFile(int id) {
    // Seen by nobody (alpha 0, 20 x 20), but it tells the traces its file and time.
    const std::string y = " " + std::to_string(100 + id) + " 0 0 20 20 0 0 0 0\n";
    std::string layers = "feher.tga\n\n\n2\n2\n-10000 -10000" + y + "10000 10000" + y;
    const std::string full = "\n\n\n1\n0\n0 512 384 0 0 1024 768 255 ";
    if (id == 16) return "2\n0\n" + layers + "feher.tga" + full + "255 255 255\n";  // greetings
    // blur_8_full: the frame copy tinted magenta, a green picture shows black through it.
    if (id == 11) return "2\n0\n" + layers + "RT" + full + "0 255 255\n";
    return "# " + std::string(kLayers[id]) + "\n1\n0\n" + layers;
}

// Two glyphs: a blank 40 wide, and a full block 63 wide for every other character.
std::string fontFile() {
    int32_t count = 2;
    std::string map(256, '\1');
    map[' '] = 0;
    Glyph glyphs[2]{{{}, 40, 0}, {{}, 63, 0}};
    std::memset(glyphs[1].pixels, 255, sizeof glyphs[1].pixels);
    return std::string((const char*)&count, 4) + map + std::string((const char*)glyphs, sizeof glyphs);
}

std::string musicFile() {
    const int rate = 44100, frames = rate / 2;
    std::vector<float> samples((size_t)frames * 2);
    for (int i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = 0.25f * std::sin(2 * 3.14159f * 440 * i / rate);
    VorbisWriter w{};
    vorbisWriterStart(w, 2, rate);
    vorbisWriterPush(w, samples.data(), frames);
    vorbisWriterFinish(w);
    return w.out;
}

}  // namespace

std::string DrawingSteps(const std::vector<std::string>& trace, int W, int H) {
    const std::map<std::string, std::string> words = {
        {"glClear(GL_STENCIL_BUFFER_BIT)", "clear"}, {"glViewport(0, 0, 256, 256)", "small"},
        {"glViewport(0, 0, " + std::to_string(W) + ", " + std::to_string(H) + ")", "full"},
        {"glDisable(GL_STENCIL_TEST)", "stage"}, {"glClear(GL_DEPTH_BUFFER_BIT)", "depth"}};
    std::string out;
    auto add = [&](const std::string& word) { out += (out.empty() ? "" : " ") + word; };
    auto at = [](float t) {
        char b[32];
        return std::string(b, snprintf(b, sizeof b, "@%g", std::round(t * 10) / 10 + 0.0));
    };
    auto sceneAt = [](float y) { return std::string(kScenes[std::clamp((int)std::lround((y + 1) * 4), 0, 7)]); };
    enum { None, Scene, Layer, Sparks } next = None;
    float fov = 60;
    std::vector<float> sprite;  // the corners of the particles drawn
    for (const std::string& l : trace) {
        std::vector<float> a;  // the arguments
        for (size_t p = l.find('('); p != std::string::npos && p + 1 < l.size(); p = l.find(", ", p + 1))
            a.push_back(strtof(l.c_str() + p + (l[p] == '(' ? 1 : 2), nullptr));
        bool translate = l.rfind("glTranslatef(", 0) == 0;
        if (auto w = words.find(l); w != words.end()) add(w->second);
        else if (l.rfind("glCopyTexImage2D(", 0) == 0) add("copy");
        else if (l.rfind("gluPerspective(", 0) == 0) next = Scene, fov = a[0];
        else if (l.rfind("gluOrtho2D(", 0) == 0) next = Layer;
        else if (l == "glDepthMask(GL_FALSE)") next = Sparks, sprite.clear();
        else if (next == Scene && translate) {
            add(sceneAt(a[1]) + at(a[0] * 1000) + (std::fabs(fov - 60) > 0.01f ? " fov=" + at(fov).substr(1) : ""));
            next = None;
        } else if (next == Layer && translate) {
            if (a[1] >= 100 && a[1] < 122) add(kLayers[(int)a[1] - 100] + at(a[0]));
            next = None;
        } else if (next == Sparks && l.rfind("glVertex3f(", 0) == 0) {
            sprite.insert(sprite.end(), a.begin(), a.end());
        } else if (next == Sparks && l == "glDepthMask(GL_TRUE)") {
            // The last particle's first and last corners lie either side of its centre.
            const float* c = sprite.data() + sprite.size() - 12;
            bool any = sprite.size() >= 12;
            add(any ? "particles:" + sceneAt((c[1] + c[10]) / 2) + at((c[0] + c[9]) * 500) : "particles");
            next = None;
        }
    }
    return out;
}

std::string MiniShowTimeline() {
    std::string t = "# the miniature show: one second per part\n";
    for (int part = 1; part <= 9; ++part) t += TimelineLine((part - 1) * 1000, part, -(part - 1) * 1000, 40, 40);
    return t;
}

std::vector<std::string> MiniShowFiles() {
    std::vector<std::string> f = {"2ddata/fontset.3f", "2ddata/music.rms", "2ddata/music.ogg", "2ddata/timeline.cfg"};
    for (const char* t : {"tex", "red", "env", "spark", "feher"}) f.push_back(std::string("Textures/") + t + ".tga");
    for (const char* s : kScenes) f.push_back(std::string("3ddata/") + s + ".vlm");
    for (const char* l : kLayers) f.push_back(std::string("2ddata/") + l + ".ife");
    return f;
}

void PutMiniShow(const ShowHome& home, const MiniShowOptions& o) {
    home.put("2ddata/fontset.3f", fontFile());
    home.put("2ddata/music.rms", std::string(137304, (char)(uint8_t)o.loudness));
    home.put("2ddata/music.ogg", musicFile());
    if (o.timeline) home.put("2ddata/timeline.cfg", MiniShowTimeline());
    home.put("Textures/tex.tga", SolidTga(8, 8, 0, 255, 0));
    home.put("Textures/red.tga", SolidTga(8, 8, 255, 0, 0));
    home.put("Textures/env.tga", SolidTga(8, 8, 40, 40, 40));
    home.put("Textures/feher.tga", SolidTga(8, 8, 255, 255, 255));
    home.put("Textures/spark.tga", SolidTga(4, 4, 255, 200, 80));
    for (int i = 0; i < 8; ++i) home.put(std::string("3ddata/") + kScenes[i] + ".vlm", sceneFile(i));
    for (int i = 0; i < 22; ++i) home.put(std::string("2ddata/") + kLayers[i] + ".ife", layerFile(i));
}
