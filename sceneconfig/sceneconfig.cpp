#include "sceneconfig.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "../frame/frame.h"

namespace {

// Pascal-style copy: `count` characters from 1-based `start`, clipped.
std::string_view copyOf(std::string_view s, long start, long count) {
    if (start < 1) count += start - 1, start = 1;
    if (count <= 0 || (size_t)start > s.size()) return {};
    return s.substr((size_t)start - 1, (size_t)count);
}

long posOf(std::string_view s, char c) {
    size_t p = s.find(c);
    return p == std::string_view::npos ? 0 : (long)p + 1;
}

std::string_view trimBlanks(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

struct Line {
    std::string_view key, name, subkey, value;
};

Line piecesOf(std::string_view s) {
    Line l;
    size_t end = s.find_first_of("=(.");
    l.key = end == std::string_view::npos ? s : s.substr(0, end);
    long open = posOf(s, '('), close = posOf(s, ')'), dot = posOf(s, '.'), eq = posOf(s, '=');
    l.name = copyOf(s, open + 1, close - open - 1);
    l.subkey = copyOf(s, dot + 1, eq - dot - 1);
    l.value = copyOf(s, eq + 1, 255);
    return l;
}

// Lenient number: blanks around it allowed; a malformed one changes nothing.
bool lenientReal(std::string_view v, float& out) {
    v = trimBlanks(v);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    float f;
    auto r = std::from_chars(v.data(), v.data() + v.size(), f);
    if (v.empty() || r.ec != std::errc() || r.ptr != v.data() + v.size() || !std::isfinite(f)) return false;
    out = f;
    return true;
}

bool parseInt(std::string_view v, int32_t& out) {
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    auto r = std::from_chars(v.data(), v.data() + v.size(), out);
    return !v.empty() && r.ec == std::errc() && r.ptr == v.data() + v.size();
}

bool lenientInt(std::string_view v, int32_t& out) { return parseInt(trimBlanks(v), out); }

// Strict: leading blanks only; anything else ends through the conversion error.
int32_t strictInt(std::string_view v) {
    std::string_view t = v;
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    int32_t out = 0;
    if (!parseInt(t, out)) {
        std::string msg = "\"" + std::string(v) + "\" is an invalid integer";
        RunError(106, msg.c_str());
    }
    return out;
}

void setReal(float& field, std::string_view v) { lenientReal(v, field); }
void setInt(int32_t& field, std::string_view v) { lenientInt(v, field); }
void setByte(uint8_t& field, std::string_view v) {
    int32_t i;
    if (lenientInt(v, i)) field = (uint8_t)i;
}
void setFlag(bool& field, std::string_view v) { field = v == "1"; }
void setText(ShortString& field, std::string_view v) { field = S(v); }
// x before the first comma, y between the first and second, z after the
// second; a piece the value does not have is empty and changes nothing.
void setVector(Vector& field, std::string_view v) {
    size_t c1 = v.find(',');
    size_t c2 = c1 == std::string_view::npos ? c1 : v.find(',', c1 + 1);
    std::string_view x, y, z;
    if (c1 != std::string_view::npos) {
        x = v.substr(0, c1);
        y = c2 == std::string_view::npos ? v.substr(c1 + 1) : v.substr(c1 + 1, c2 - c1 - 1);
        if (c2 != std::string_view::npos) z = v.substr(c2 + 1);
    }
    lenientReal(x, field.x);
    lenientReal(y, field.y);
    lenientReal(z, field.z);
}

// Index of the last entry named `name`, 0 when none is.
template <typename T>
int32_t findByName(const T* entries, int32_t count, std::string_view name) {
    int32_t found = 0;
    for (int32_t i = 0; i < count; ++i)
        if (view(entries[i].name) == name) found = i;
    return found;
}

void refused(std::string_view kind, std::string_view line) {
    LogLine(S("[config] no ") + kind + " in the scene, line ignored: " + line);
}

void applyMaterial(Material& m, std::string_view k, std::string_view v) {
    if (k == "texturename") setText(m.texturename, v);
    else if (k == "envmaptexture") setText(m.envmaptexture, v);
    else if (k == "envmap") setFlag(m.envmap, v);
    else if (k == "transparency") setReal(m.transparency, v);
    else if (k == "utile") setReal(m.utile, v);
    else if (k == "vtile") setReal(m.vtile, v);
    else if (k == "textured") setFlag(m.textured, v);
    else if (k == "receivelight") setFlag(m.receivelight, v);
    else if (k == "shine") setInt(m.shine, v);
    else if (k == "alphatest") setReal(m.alphatest, v);
    else if (k == "flaresize") setReal(m.flaresize, v);
    else if (k == "magtype") setInt(m.magtype, v);
    else if (k == "blend") setByte(m.blend, v);
    else if (k == "texturewrap") setByte(m.texturewrap, v);
    else if (k == "constantalpha") setReal(m.constantalpha, v);
    else if (k == "depthtest") setByte(m.depthtest, v);
    else if (k == "ambient") setVector(m.ambient, v);
    else if (k == "diffuse") setVector(m.diffuse, v);
    else if (k == "specular") setVector(m.specular, v);
}

void applyObject(const Scene& scene, SceneObject& o, std::string_view k, std::string_view v, std::string_view line) {
    if (k == "material") {
        int32_t m = strictInt(v);
        // Every drawing indexes the materials by this number.
        if (m < 0 || m >= scene.materialcount) {
            LogLine(S("[config] material number out of range, line ignored: ") + line);
            return;
        }
        o.material = m;
    } else if (k == "rendermode") o.rendermode = (uint8_t)strictInt(v);
    else if (k == "passno") o.passno = strictInt(v);
    else if (k == "visible") setFlag(o.visible, v);
    else if (k == "backfacecull") setFlag(o.backfacecull, v);
    else if (k == "particleenabled") setFlag(o.particleenabled, v);
    else if (k == "colorattrib") o.colorattrib = (uint8_t)strictInt(v);
    else if (k == "newparticle") o.newparticle = strictInt(v);
    else if (k == "particletexture") setText(o.particletexture, v);
    else if (k == "power") setReal(o.power, v);
    else if (k == "size") setReal(o.size, v);
    else if (k == "deltapower") setReal(o.deltapower, v);
    else if (k == "deltavector") setVector(o.deltavector, v);
    else if (k == "deltavectorspread") setVector(o.deltavectorspread, v);
    else if (k == "color") setVector(o.color, v);
    else if (k == "colorspread") setVector(o.colorspread, v);
}

void applyLight(SceneLight& l, std::string_view k, std::string_view v) {
    if (k == "enabled") setFlag(l.enabled, v);
    else if (k == "pos") setVector(l.pos, v);
    else if (k == "ambient") setVector(l.ambient, v);
    else if (k == "diffuse") setVector(l.diffuse, v);
    else if (k == "specular") setVector(l.specular, v);
}

}  // namespace

void ApplySceneConfig(Scene& scene, const std::string& text) {
    TextReader r = TextReaderOf(text);
    do {
        ShortString line = trReadLine(r);
        std::string_view s = view(line);
        if (!s.empty() && s[0] == '#') continue;
        Line l = piecesOf(s);
        if (l.key == "camerafov") setReal(scene.camerafov, l.value);
        else if (l.key == "cameranear") setReal(scene.cameranear, l.value);
        else if (l.key == "camerafar") setReal(scene.camerafar, l.value);
        else if (l.key == "material") {
            if (scene.materialcount <= 0 || !scene.materials) refused("material", s);
            else applyMaterial(scene.materials[findByName(scene.materials, scene.materialcount, l.name)], l.subkey, l.value);
        } else if (l.key == "object") {
            if (scene.objectcount <= 0 || !scene.objects) refused("object", s);
            else applyObject(scene, scene.objects[findByName(scene.objects, scene.objectcount, l.name)], l.subkey, l.value, s);
        } else if (l.key == "light") {
            applyLight(scene.lights[findByName(scene.lights, SceneLightCount, l.name)], l.subkey, l.value);
        }
    } while (!trEof(r));
    scene.maxpassno = 0;
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i)
        if (scene.objects[i].passno > scene.maxpassno) scene.maxpassno = scene.objects[i].passno;
}

void ReadSceneConfig(Scene& scene, const ShortString& fileName) {
    std::string text;
    int code = 0;
    if (!TryReadFile(ToCString(fileName), text, &code)) FatalStop(S("Config file (") + fileName + ") not found.");
    ApplySceneConfig(scene, text);
}

// ------------------------------------------------------------ writer

namespace {

struct Writer {
    std::string out;
    void line(std::string_view s) {
        out += s;
        out += "\r\n";
    }
};

std::string real(float v) {
    char b[64];
    if (v == 0) v = 0;  // -0 is not negative
    snprintf(b, sizeof b, "%.4f", (double)v);
    return b;
}
std::string vec(const Vector& v) { return real(v.x) + "," + real(v.y) + "," + real(v.z); }
std::string num(long v) { return std::to_string(v); }

// Proposals from the texture's bits per pixel and the transparency: which
// of the three cases holds, or -1 for none.
int proposal(const Material& m) {
    if (m.depth == 24 && m.transparency == 0) return 0;
    if (m.depth == 24 && m.transparency > 0) return 1;
    if (m.depth == 32) return 2;
    return -1;
}

}  // namespace

std::string SceneConfigText(const Scene& scene) {
    Writer w;
    w.line("# Velmar config file");
    w.line("#");
    w.line("camerafov=" + real(scene.camerafov));
    w.line("cameranear=" + real(scene.cameranear));
    w.line("camerafar=" + real(scene.camerafar));
    w.line("#");
    w.line("# Material Info");
    w.line("# ");
    w.line("#                  Texture min/mag filters:");
    w.line("# 0 - NEAREST, 1 - LINEAR, 2 - MIPMAP_NEAREST, 3 - MIPMAP_LINEAR (default)");
    w.line("# ");
    w.line("# Depthtest : 0 -R/W ; 1 -R ; 2 -W ; 3 -N/A");
    w.line("# Alphatest : 0 -N/A ; 0..1 -alpha testing value");
    w.line("# Blend     : 0 -NO  ; 1 -ONE/ONE ; 2 -ALPHA ; 3 -1-ALPHA");
    w.line("# ");
    for (int32_t i = 0; i < scene.materialcount && scene.materials; ++i) {
        const Material& m = scene.materials[i];
        std::string p = "material(" + str(m.name);
        w.line(p + ").texturename=" + str(m.texturename));
        w.line(p + ").transparency=" + real(m.transparency));
        w.line(p + ").utile=" + real(m.utile));
        w.line(p + ").vtile=" + real(m.vtile));
        w.line(p + ").textured=" + num(m.textured));
        w.line(p + ").ambient=" + vec(m.ambient));
        w.line(p + ").diffuse=" + vec(m.diffuse));
        w.line(p + ").specular=" + vec(m.specular));
        w.line(p + ").shine=" + num(m.shine));
        w.line(p + ").envmap=" + num(m.envmap));
        w.line(p + ").envmaptexture=" + str(m.envmaptexture));
        w.line(p + ").magtype=" + num(m.magtype));
        w.line(p + ").receivelight=" + num(m.receivelight));
        w.line(p + ").depthtest=" + num(m.depthtest));
        w.line(p + ").alphatest=" + real(m.alphatest));
        w.line(p + ").texturewrap=" + num(m.texturewrap));
        w.line(p + ").constantalpha=" + real(m.constantalpha));
        w.line(p + ").flaresize=" + real(m.flaresize));
        int prop = proposal(m);
        if (prop >= 0) w.line(p + ").blend=" + num(prop));
        w.line("#");
    }
    w.line("# Object Info");
    static const char* const kPassComment[3] = {"#standard texture :", "#transparent material :",
                                                 "#alpha channel texture :"};
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
        const SceneObject& o = scene.objects[i];
        std::string p = "object(" + str(o.name);
        w.line(p + ").material=" + num(o.material));
        w.line(p + ").rendermode=" + num(o.rendermode));
        w.line(p + ").visible=" + num(o.visible));
        w.line(p + ").particleenabled=" + num(o.particleenabled));
        w.line(p + ").deltavector=" + vec(o.deltavector));
        w.line(p + ").deltavectorspread=" + vec(o.deltavectorspread));
        w.line(p + ").color=" + vec(o.color));
        w.line(p + ").colorspread=" + vec(o.colorspread));
        w.line(p + ").colorattrib=" + num(o.colorattrib));
        w.line(p + ").power=" + real(o.power));
        w.line(p + ").deltapower=" + real(o.deltapower));
        w.line(p + ").newparticle=" + num(o.newparticle));
        w.line(p + ").particletexture=" + str(o.particletexture));
        w.line(p + ").size=" + real(o.size));
        // An object whose material does not exist gets no proposal.
        if (o.material >= 0 && o.material < scene.materialcount && scene.materials) {
            const Material& m = scene.materials[o.material];
            int prop = proposal(m);
            if (prop >= 0) {
                w.line(p + ").passno=" + num(prop));
                w.line(kPassComment[prop] + str(m.texturename));
            }
        }
        w.line(p + ").backfacecull=" + num(o.backfacecull));
        w.line("#");
    }
    w.line("# Light Info");
    for (int32_t i = 0; i < SceneLightCount; ++i) {
        const SceneLight& l = scene.lights[i];
        std::string p = "light(" + str(l.name);
        w.line(p + ").enabled=" + num(l.enabled));
        w.line(p + ").pos=" + vec(l.pos));
        w.line(p + ").ambient=" + vec(l.ambient));
        w.line(p + ").diffuse=" + vec(l.diffuse));
        w.line(p + ").specular=" + vec(l.specular));
        w.line("#");
    }
    return w.out;
}

void WriteSceneConfig(const Scene& scene, const ShortString& fileName) {
    std::string why;
    if (!TryWriteFileAtomic(ToCString(fileName), SceneConfigText(scene), &why)) {
        int code = errno == EACCES || errno == EPERM ? 5 : errno == ENOENT ? 3 : 101;
        RunError(code, ToCString(S("cannot write ") + fileName + ": " + why));
    }
}
