#include "minishow.h"

#include <cmath>
#include <cstring>

#include "glwindow.h"
#include "player/font.h"
#include "scene/scenefile.h"
#include "support.h"
#include "tools/scenebuild/scenebuild.h"
#include "tools/synth/audio.h"

namespace {

const char* const kScenes[] = {"kard_anim", "vexil2_anim", "vexildog_anim", "vexildog_anim_envmap",
                               "controlroom_shadow_optimized", "kocka_anim", "untitled_prefinal", "sarkany"};
const char* const kLayers[] = {"eleje", "fadeout", "fadein", "xfade", "kek2", "kek1", "focim", "border",
                               "credits", "kerethatul", "128alpha", "blur_8_full", "blur_4_full", "radialblur",
                               "ketto", "csont", "greetings", "glow_sotetit", "starmap", "starmap2", "vege",
                               "harom"};

bool isParticleScene(const std::string& n) {
    return n == "kard_anim" || n == "vexildog_anim" || n == "kocka_anim" || n == "untitled_prefinal";
}

std::string sceneFile(const std::string& name) {
    Scene s;
    sbBegin(s, name.c_str());
    int32_t mat = sbMaterial(s, "paint", "tex.tga");
    Material& m = sbMat(s, mat);
    m.receivelight = false;  // the texture's colour as it is
    m.ambient = {1, 1, 1};
    if (name == "vexildog_anim_envmap") {
        m.texturename = S("red.tga");
        m.envmap = true;
        m.envmaptexture = S("env.tga");
    }
    sbObject(s, "box", mat, meshBox({4, 4, 4}));
    if (isParticleScene(name)) {
        int32_t spark = sbMaterial(s, "spark", "");
        int32_t e = sbObject(s, "emitter", spark, meshBox({0.2f, 0.2f, 0.2f}));
        sbObj(s, e).visible = false;
        sbObjectTrack(s, e, {{0, {0, 0, 3}}, {1000, {0, 0, 4}}});
        EmitterSettings es;
        es.texture = "spark.tga";
        sbEmitter(s, e, es);
    }
    sbCamera(s, {{0, {12, 0, 4}}, {500, {0, 12, 4}}, {1000, {-12, 0, 4}}}, {{0, {0, 0, 0}}, {1000, {0, 0, 0}}});
    sbLight(s, 0, "sun", {10, 10, 20});
    sbFinish(s);
    std::string bytes = SaveSceneData(s);
    ReleaseScene(s);
    return bytes;
}

std::string layerFile(const std::string& name) {
    const std::string full = "0 512 384 0 0 1024 768 255 255 255 255\n";
    if (name == "greetings") return "1\n0\nfeher.tga\n\n\n1\n0\n" + full;
    // The frame copy tinted magenta: a green picture shows black through it.
    if (name == "blur_8_full") return "1\n0\nRT\n\n\n1\n0\n0 512 384 0 0 1024 768 255 0 255 255\n";
    // Seen by nobody (alpha 0, a small corner), but its x is the time it is
    // drawn at (0 to 1000), which the call traces show.
    return "# " + name + "\n1\n0\nfeher.tga\n\n\n2\n2\n0 0 10 0 0 20 20 0 0 0 0\n1000 1000 10 0 0 20 20 0 0 0 0\n";
}

std::string fontFile() {
    FontSet f{};
    Glyph glyphs[2]{};
    glyphs[0].width = 40;
    glyphs[1].width = 63;
    std::memset(glyphs[1].pixels, 255, sizeof glyphs[1].pixels);
    f.glyphs = glyphs;
    f.count = 2;
    std::memset(f.map, 1, 256);
    f.map[' '] = 0;
    std::string out(4, '\0');
    std::memcpy(out.data(), &f.count, 4);
    out.append((const char*)f.map, 256);
    out.append((const char*)glyphs, sizeof glyphs);
    return out;
}

std::string musicFile() {
    const int rate = 44100, frames = rate / 2;
    std::vector<float> samples((size_t)frames * 2);
    for (int i = 0; i < frames; ++i) samples[2 * i] = samples[2 * i + 1] = 0.25f * std::sin(2 * 3.14159f * 440 * i / rate);
    VorbisWriter w{};
    vorbisWriterStart(w, 2, rate);
    vorbisWriterPush(w, samples.data(), frames);
    vorbisWriterFinish(w);
    return w.out;
}

std::string checker(uint8_t r, uint8_t g, uint8_t b) { return SolidTga(8, 8, r, g, b); }

}  // namespace

std::vector<std::string> DrawingSteps(const std::vector<std::string>& trace, int W, int H) {
    std::vector<std::string> out;
    bool inLayer = false;
    for (const std::string& l : trace) {
        if (l == "glClear(GL_STENCIL_BUFFER_BIT)") out.push_back("clear");
        else if (l == "glViewport(0, 0, 256, 256)") out.push_back("small");
        else if (l == "glViewport(0, 0, " + std::to_string(W) + ", " + std::to_string(H) + ")") out.push_back("full");
        else if (l.rfind("gluPerspective(", 0) == 0) out.push_back("scene");
        else if (l.rfind("glCopyTexImage2D(", 0) == 0) out.push_back("copy");
        else if (l == "glDisable(GL_STENCIL_TEST)") out.push_back("stage");
        else if (l == "glClear(GL_DEPTH_BUFFER_BIT)") out.push_back("depth");
        else if (l == "glDepthMask(GL_FALSE)") out.push_back("particles");
        else if (l.rfind("gluOrtho2D(", 0) == 0) inLayer = true;
        else if (inLayer && l.rfind("glTranslatef(", 0) == 0) {
            out.push_back("layer@" + l.substr(13, l.find(',') - 13));
            inLayer = false;
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
    std::vector<std::string> f = {"2ddata/fontset.3f", "2ddata/music.rms", "2ddata/music.ogg",
                                  "2ddata/timeline.cfg", "Textures/tex.tga", "Textures/red.tga",
                                  "Textures/env.tga", "Textures/spark.tga", "Textures/feher.tga"};
    for (const char* s : kScenes) f.push_back(std::string("3ddata/") + s + ".vlm");
    for (const char* l : kLayers) f.push_back(std::string("2ddata/") + l + ".ife");
    return f;
}

void PutMiniShow(const ShowHome& home, const MiniShowOptions& o) {
    home.put("2ddata/fontset.3f", fontFile());
    home.put("2ddata/music.rms", std::string(137304, (char)(uint8_t)o.loudness));
    home.put("2ddata/music.ogg", musicFile());
    if (o.timeline) home.put("2ddata/timeline.cfg", MiniShowTimeline());
    home.put("Textures/tex.tga", checker(0, 255, 0));
    home.put("Textures/red.tga", checker(255, 0, 0));
    home.put("Textures/env.tga", checker(40, 40, 40));
    std::vector<uint8_t> spark;
    for (int i = 0; i < 16; ++i) spark.insert(spark.end(), {255, 200, 80, 255});
    home.put("Textures/spark.tga", TgaImage(4, 4, 32, spark));
    home.put("Textures/feher.tga", checker(255, 255, 255));
    for (const char* s : kScenes) home.put(std::string("3ddata/") + s + ".vlm", sceneFile(s));
    for (const char* l : kLayers) home.put(std::string("2ddata/") + l + ".ife", layerFile(l));
}
