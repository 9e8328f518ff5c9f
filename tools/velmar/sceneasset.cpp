#include "sceneasset.h"

#include <vector>

#include "../../frame/frame.h"
#include "../../textures/texman.h"
#include "tool.h"

double assetFps(const std::string& option, const std::string& value) {
    double fps = toolNumber(option, value);
    if (!(fps > 0 && fps <= 1000)) toolFail(option + " wants more than 0 and at most 1000, not \"" + value + "\"");
    return fps;
}

std::string assetUniqueName(std::set<std::string>& used, const std::string& base, size_t limit) {
    std::string b = base.empty() ? "object" : base.substr(0, limit);
    std::string name = b;
    for (int n = 2; used.count(name); ++n) {
        std::string suffix = "." + std::to_string(n);
        name = b.substr(0, limit - suffix.size()) + suffix;
    }
    used.insert(name);
    return name;
}

std::string assetBaseName(const std::string& path) {
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string assetStem(const std::string& path) {
    std::string base = assetBaseName(path);
    size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

namespace {

// The loader's own entry point for bytes in memory (not in the program's
// binding table, which lists what the engine calls).
TextureImage* loadPicture(const std::string& data) {
    if (!TextureLoader.handle) TlBind();
    typedef TextureImage* (*LoadMemory)(const void*, size_t);
    static LoadMemory load = nullptr;
    if (!load) load = (LoadMemory)Base.BS_DlGetProc(TextureLoader.handle, "txLoadMemory");
    if (!load) toolFail("the texture loader module has no txLoadMemory");
    return load(data.data(), data.size());
}

}  // namespace

AssetPicture assetPictureRgba(const uint8_t* rgba, int width, int height) {
    size_t pixels = (size_t)width * height;
    bool alpha = false;
    for (size_t i = 0; i < pixels && !alpha; ++i) alpha = rgba[i * 4 + 3] != 255;
    AssetPicture p;
    p.ext = ".png";
    p.depth = alpha ? 32 : 24;
    if (alpha) {
        p.bytes = toolPng(width, height, 4, rgba, (size_t)width * 4);
        return p;
    }
    std::vector<uint8_t> rgb(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) memcpy(&rgb[i * 3], &rgba[i * 4], 3);
    p.bytes = toolPng(width, height, 3, rgb.data(), (size_t)width * 3);
    return p;
}

bool assetPicture(const std::string& data, bool forGltf, AssetPicture& out, std::string& why) {
    TextureImage* img = loadPicture(data);
    if (!img) {
        why = txResultText(TextureLoader.txGetResult ? TextureLoader.txGetResult() : TX_ERR_FORMAT);
        return false;
    }
    // glTF pictures are PNG or JPEG; the engine's textures TGA or PNG.
    const int keep[2] = {TX_SOURCE_PNG, forGltf ? TX_SOURCE_JPEG : TX_SOURCE_TGA};
    if (img->source == keep[0] || img->source == keep[1]) {
        out.bytes = data;
        out.ext = img->source == TX_SOURCE_PNG ? ".png" : img->source == TX_SOURCE_TGA ? ".tga" : ".jpg";
        out.depth = img->bpp;
    } else if (img->kind != TX_KIND_PIXELS) {
        why = "not a picture of pixels";
    } else {
        // Rows of the loaded image, padded to 4 bytes, as RGBA.
        int channels = img->format == 1 ? 4 : 3;
        std::vector<uint8_t> rgba((size_t)img->width * img->height * 4, 255);
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < img->width; ++x)
                memcpy(&rgba[((size_t)y * img->width + x) * 4], img->level[0] + (size_t)y * img->pitch + (size_t)x * channels,
                       channels);
        out = assetPictureRgba(rgba.data(), img->width, img->height);
    }
    bool ok = !out.bytes.empty();
    TextureLoader.txFree(&img);
    return ok;
}
