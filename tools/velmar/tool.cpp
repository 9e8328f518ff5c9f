#include "tool.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../frame/frame.h"
#include "../../scene/scenefile.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

void toolFail(const std::string& message) { throw ToolFailure{message}; }

ToolArgs toolParse(int argc, char** argv, const std::vector<std::string>& valueOptions,
                   const std::vector<std::string>& flagOptions) {
    ToolArgs a;
    for (int i = 0; i < argc; ++i) {
        std::string s = argv[i];
        if (s == "--help" || s == "-h") {
            a.help = true;
        } else if (s.size() > 2 && s.rfind("--", 0) == 0) {
            std::string key = s, value;
            size_t eq = s.find('=');
            bool hasValue = eq != std::string::npos;
            if (hasValue) key = s.substr(0, eq), value = s.substr(eq + 1);
            bool takes = false, known = false;
            for (const std::string& o : valueOptions) takes = takes || o == key;
            for (const std::string& o : flagOptions) known = known || o == key;
            if (!takes && !known) toolFail("unknown option " + key + " (see --help)");
            if (takes && !hasValue) {
                if (i + 1 >= argc) toolFail(key + " needs a value");
                value = argv[++i];
            }
            a.options.push_back({key, known && !hasValue ? "1" : value});
        } else {
            a.positional.push_back(s);
        }
    }
    return a;
}

std::string toolReadFile(const std::string& path) {
    std::string out, why;
    int code = 0;
    if (!TryReadFile(path.c_str(), out, &code, &why)) toolFail("cannot read " + path + ": " + why);
    return out;
}

void toolLoadScene(Scene& scene, const std::string& path, SceneLoadStats* stats) {
    std::string data = toolReadFile(path);
    try {
        LoadSceneData(scene, S(path), (const uint8_t*)data.data(), data.size(), stats);
    } catch (const ToolFailure& f) {
        if (f.message.find(path) != std::string::npos) throw;
        toolFail(path + ": " + f.message);
    }
}

long toolInt(const std::string& option, const std::string& value) {
    char* end = nullptr;
    errno = 0;
    long v = strtol(value.c_str(), &end, 10);
    if (value.empty() || *end || errno) toolFail(option + " wants a whole number, not \"" + value + "\"");
    return v;
}

double toolNumber(const std::string& option, const std::string& value) {
    char* end = nullptr;
    errno = 0;
    double v = strtod(value.c_str(), &end);
    if (value.empty() || *end || errno) toolFail(option + " wants a number, not \"" + value + "\"");
    return v;
}

namespace {
void appendBytes(void* context, void* data, int size) { ((std::string*)context)->append((const char*)data, size); }
}  // namespace

std::string toolPng(int w, int h, int channels, const uint8_t* rows, size_t stride) {
    std::string png;
    if (!stbi_write_png_to_func(appendBytes, &png, w, h, channels, rows, (int)stride))
        toolFail("cannot encode the picture");
    return png;
}

int toolHelp(const char* text) {
    fputs(text, stdout);
    return 0;
}
