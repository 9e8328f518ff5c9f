#include "sceneconfig.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

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
bool lenientReal(std::string_view v, float& out) { return RtParseReal(trimBlanks(v), out); }

bool parseInt(std::string_view v, int32_t& out) { return RtParseInt(v, out); }

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

// Which of the three cases holds, or -1 for none.
int SceneConfigProposal(const Material& m) {
    if (m.depth == 24 && m.transparency == 0) return 0;
    if (m.depth == 24 && m.transparency > 0) return 1;
    if (m.depth == 32) return 2;
    return -1;
}

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

// One setting of an entity's block: "kind(name).key=value", and a comment
// line that follows it (the pass proposal's texture note).
struct Setting {
    const char* key;
    std::string value;
    std::string after;
};

// A comment keeps to its line: a line feed in it would start a setting.
std::string commentText(std::string_view t) {
    std::string out;
    for (unsigned char c : t) {
        if (c < 0x20 || c == 0x7f) {
            char b[8];
            snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        } else {
            out += (char)c;
        }
    }
    return out;
}

std::vector<Setting> materialSettings(const Material& m) {
    std::vector<Setting> v = {
        {"texturename", str(m.texturename), ""},       {"transparency", real(m.transparency), ""},
        {"utile", real(m.utile), ""},                  {"vtile", real(m.vtile), ""},
        {"textured", num(m.textured), ""},             {"ambient", vec(m.ambient), ""},
        {"diffuse", vec(m.diffuse), ""},               {"specular", vec(m.specular), ""},
        {"shine", num(m.shine), ""},                   {"envmap", num(m.envmap), ""},
        {"envmaptexture", str(m.envmaptexture), ""},   {"magtype", num(m.magtype), ""},
        {"receivelight", num(m.receivelight), ""},     {"depthtest", num(m.depthtest), ""},
        {"alphatest", real(m.alphatest), ""},          {"texturewrap", num(m.texturewrap), ""},
        {"constantalpha", real(m.constantalpha), ""},  {"flaresize", real(m.flaresize), ""},
    };
    int prop = SceneConfigProposal(m);
    if (prop >= 0) v.push_back({"blend", num(prop), ""});
    return v;
}

std::vector<Setting> objectSettings(const Scene& scene, const SceneObject& o) {
    static const char* const kPassComment[3] = {"#standard texture :", "#transparent material :",
                                                 "#alpha channel texture :"};
    std::vector<Setting> v = {
        {"material", num(o.material), ""},
        {"rendermode", num(o.rendermode), ""},
        {"visible", num(o.visible), ""},
        {"particleenabled", num(o.particleenabled), ""},
        {"deltavector", vec(o.deltavector), ""},
        {"deltavectorspread", vec(o.deltavectorspread), ""},
        {"color", vec(o.color), ""},
        {"colorspread", vec(o.colorspread), ""},
        {"colorattrib", num(o.colorattrib), ""},
        {"power", real(o.power), ""},
        {"deltapower", real(o.deltapower), ""},
        {"newparticle", num(o.newparticle), ""},
        {"particletexture", str(o.particletexture), ""},
        {"size", real(o.size), ""},
    };
    // An object whose material does not exist gets no proposal.
    if (o.material >= 0 && o.material < scene.materialcount && scene.materials) {
        const Material& m = scene.materials[o.material];
        int prop = SceneConfigProposal(m);
        if (prop >= 0) v.push_back({"passno", num(prop), kPassComment[prop] + commentText(str(m.texturename))});
    }
    v.push_back({"backfacecull", num(o.backfacecull), ""});
    return v;
}

std::vector<Setting> lightSettings(const SceneLight& l) {
    return {{"enabled", num(l.enabled), ""},
            {"pos", vec(l.pos), ""},
            {"ambient", vec(l.ambient), ""},
            {"diffuse", vec(l.diffuse), ""},
            {"specular", vec(l.specular), ""}};
}

// The reader takes a name up to the first ')' and the key from the first
// '.', and a line ends at a line feed: a name holding any of them names
// another entry (or none, which is entry 0).
bool addressable(std::string_view name) { return name.find_first_of(").=\n") == std::string_view::npos; }

// Lines are read up to 255 characters, a line feed ends them.
const char* unwritable(const std::string& prefix, const Setting& s) {
    if (s.value.find('\n') != std::string::npos) return "the value holds a line feed";
    if (prefix.size() + 2 + strlen(s.key) + 1 + s.value.size() > 255) return "the line would be longer than 255 characters";
    return nullptr;
}

const Setting* findSetting(const std::vector<Setting>& v, const char* key) {
    for (const Setting& s : v)
        if (!strcmp(s.key, key)) return &s;
    return nullptr;
}

void leftOut(Writer& w, const std::string& what, const std::string& why) {
    w.line("# left out: " + commentText(what) + ": " + why);
    LogLine(S("[config] left out ") + commentText(what) + ": " + why);
}

// Every entity of a kind. The reader gives each line to the last entity of
// its name, so an earlier one of the same name only carries the settings the
// last one carries too (which then take their own values back); a setting
// the reader would get wrong is left out, with a comment and a log line.
template <typename Entity, typename Settings>
void writeBlocks(Writer& w, const char* kind, const Entity* entries, int32_t count, Settings settingsOf) {
    for (int32_t i = 0; i < count && entries; ++i) {
        std::string name = str(entries[i].name), prefix = std::string(kind) + "(" + name;
        if (!addressable(name)) {
            leftOut(w, prefix + ")", "its name holds ')', '.', '=' or a line feed, which the reader cannot find");
            w.line("#");
            continue;
        }
        int32_t last = i;
        for (int32_t k = i + 1; k < count; ++k)
            if (entries[k].name == entries[i].name) last = k;
        std::vector<Setting> own = settingsOf(entries[i]), theirs = settingsOf(entries[last]);
        std::map<std::string, std::string> reasons;  // why -> keys
        for (const Setting& s : own) {
            const char* why = unwritable(prefix, s);
            if (!why && last != i) {
                const Setting* t = findSetting(theirs, s.key);
                if (!t || unwritable(prefix, *t))
                    why = "the reader gives it to the later entry of this name, which does not carry it";
            }
            if (why) {
                std::string& keys = reasons[why];
                keys += (keys.empty() ? "" : ", ") + std::string(s.key);
                continue;
            }
            w.line(prefix + ")." + s.key + "=" + s.value);
            if (!s.after.empty()) w.line(s.after);
        }
        for (const auto& [why, keys] : reasons) leftOut(w, prefix + ")." + keys, why);
        w.line("#");
    }
}

}  // namespace

std::string SceneConfigText(const Scene& scene, const std::string& note) {
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
    if (!note.empty()) w.line("# note: " + commentText(note));
    writeBlocks(w, "material", scene.materials, scene.materialcount, materialSettings);
    w.line("# Object Info");
    writeBlocks(w, "object", scene.objects, scene.objectcount,
                [&](const SceneObject& o) { return objectSettings(scene, o); });
    w.line("# Light Info");
    writeBlocks(w, "light", scene.lights, SceneLightCount, lightSettings);
    return w.out;
}

void WriteSceneConfig(const Scene& scene, const ShortString& fileName) {
    std::string why;
    if (!TryWriteFileAtomic(ToCString(fileName), SceneConfigText(scene), &why)) {
        int code = errno == EACCES || errno == EPERM ? 5 : errno == ENOENT ? 3 : 101;
        RunError(code, ToCString(S("cannot write ") + fileName + ": " + why));
    }
}
