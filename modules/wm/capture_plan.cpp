// The capture's pure pieces: argument lists, sample counts, pictures, texts.
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "capture.h"

#define STBIW_WINDOWS_UTF8_UNUSED
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

bool capParseTimes(const char* text, std::vector<int32_t>& times) {
    times.clear();
    if (!text || !*text) return false;
    const char* s = text;
    for (;;) {
        char* end = nullptr;
        errno = 0;
        long v = isdigit((unsigned char)*s) ? strtol(s, &end, 10) : -1;
        if (v < 0 || errno != 0 || v > INT32_MAX || (*end != 0 && *end != ',')) {
            times.clear();  // a refused list gives no times at all
            return false;
        }
        times.push_back((int32_t)v);
        s = end;
        if (*s == 0) break;
        ++s;
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return true;
}

int64_t capAudioFramesBefore(int64_t frame, int32_t fps) {
    if (fps <= 0 || frame <= 0) return 0;
    return frame * WM_CAPTURE_RATE / fps;
}

std::vector<std::string> capFfmpegArgs(const CapturePlan& plan, int32_t width, int32_t height) {
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::string rate = std::to_string(plan.fps);
    // The picture and the sound arrive in turns, one frame of each: ffmpeg
    // must not wait for seconds of one input while probing (the other's pipe
    // would fill and stall both), and its queues are generous.
    bool picture = !plan.soundOnly;
    std::vector<std::string> a = {plan.ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-y"};
    if (picture)
        a.insert(a.end(), {"-probesize", "32", "-analyzeduration", "0", "-thread_queue_size", "512", "-f",
                           "rawvideo", "-pix_fmt", "rgba", "-video_size", size, "-framerate", rate, "-i", "pipe:3"});
    if (plan.sound)
        a.insert(a.end(), {"-probesize", "32", "-analyzeduration", "0", "-thread_queue_size", "512", "-f", "f32le", "-ar", std::to_string(WM_CAPTURE_RATE),
                           "-ac", std::to_string(WM_CAPTURE_CHANNELS), "-i", "pipe:4"});
    if (picture) a.insert(a.end(), {"-map", "0:v"});
    if (plan.sound) a.insert(a.end(), {"-map", picture ? "1:a" : "0:a"});
    // GL's rows come bottom first.
    if (picture)
        a.insert(a.end(), {"-vf", "vflip", "-c:v", "libx264", "-preset", "superfast", plan.lossless ? "-qp" : "-crf",
                           plan.lossless ? "0" : "18", "-pix_fmt", "yuv420p", "-r", rate});
    if (plan.sound) a.insert(a.end(), {"-c:a", "aac", "-b:a", "192k"});
    if (plan.from >= 0 || plan.soundOnly) a.insert(a.end(), {"-metadata", "comment=" + capSegmentTag(plan)});
    a.insert(a.end(), {"-movflags", "+faststart", "-f", "mp4", plan.video});
    return a;
}

std::string capSegmentTag(const CapturePlan& plan) {
    return "velmar segment from=" + std::to_string(plan.from < 0 ? 0 : plan.from) +
           " to=" + std::to_string(plan.to < 0 ? kCaptureShowEndMs : plan.to) + " fps=" + std::to_string(plan.fps);
}

bool capParseSegmentTag(const std::string& tag, int32_t& from, int32_t& to, int32_t& fps) {
    int used = 0;
    return sscanf(tag.c_str(), "velmar segment from=%d to=%d fps=%d%n", &from, &to, &fps, &used) == 3 &&
           (size_t)used == tag.size() && from >= 0 && to > from && fps > 0;
}

std::string capFindProgram(const std::string& name, const char* path) {
    if (name.empty()) return "";
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
    std::string dirs = path ? path : "";
    size_t from = 0;
    for (;;) {
        size_t colon = dirs.find(':', from);
        std::string dir = dirs.substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        if (dir.empty()) dir = ".";
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    return "";
}

std::string capShotName(int32_t ms) {
    char b[32];
    snprintf(b, sizeof b, "%06d.png", ms < 0 ? 0 : ms);
    return b;
}

std::string capTimeLabel(int32_t ms) {
    if (ms < 0) ms = 0;
    char b[48];
    snprintf(b, sizeof b, "%d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
    return b;
}

std::string capProgressText(const CaptureProgress& p) {
    char b[256];
    double speed = p.wallSeconds > 0 ? (double)p.frame / p.wallSeconds : 0;
    std::string show = p.showMs < 0 ? "loading" : "show " + std::to_string(p.showMs / 1000) + "." +
                                                     std::to_string(p.showMs / 100 % 10) + " s";
    std::string left = "";
    if (p.showMs >= 0 && speed > 0 && p.fps > 0) {
        int64_t framesLeft = ((int64_t)std::max(0, p.endMs - p.showMs) * p.fps + 999) / 1000;
        int64_t s = (int64_t)(framesLeft / speed + 0.5);
        char t[64];
        snprintf(t, sizeof t, "  about %lld:%02lld left", (long long)(s / 60), (long long)(s % 60));
        left = t;
    }
    snprintf(b, sizeof b, "capture: frame %lld  %s  %.1f fps  %.2fx real time%s", (long long)p.frame,
             show.c_str(), speed, p.fps > 0 ? speed / p.fps : 0.0, left.c_str());
    return b;
}

CaptureImage capUpright(const uint8_t* rgba, int32_t width, int32_t height) {
    CaptureImage im;
    if (!rgba || width <= 0 || height <= 0) return im;
    im.width = width;
    im.height = height;
    im.rgb.resize((size_t)width * height * 3);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = rgba + (size_t)(height - 1 - y) * width * 4;
        uint8_t* dst = im.rgb.data() + (size_t)y * width * 3;
        for (int32_t x = 0; x < width; ++x) {
            dst[x * 3 + 0] = src[x * 4 + 0];
            dst[x * 3 + 1] = src[x * 4 + 1];
            dst[x * 3 + 2] = src[x * 4 + 2];
        }
    }
    return im;
}

CaptureImage capThumbnail(const uint8_t* rgba, int32_t width, int32_t height, int32_t thumbWidth) {
    CaptureImage im;
    if (!rgba || width <= 0 || height <= 0 || thumbWidth <= 0) return im;
    int32_t tw = std::min(thumbWidth, width);
    int32_t th = (int32_t)std::max<int64_t>(1, ((int64_t)height * tw + width / 2) / width);
    im.width = tw;
    im.height = th;
    im.rgb.resize((size_t)tw * th * 3);
    for (int32_t ty = 0; ty < th; ++ty) {
        // Rows counted from the top; GL's come from the bottom.
        int32_t y0 = (int32_t)((int64_t)ty * height / th), y1 = (int32_t)((int64_t)(ty + 1) * height / th);
        if (y1 <= y0) y1 = y0 + 1;
        for (int32_t tx = 0; tx < tw; ++tx) {
            int32_t x0 = (int32_t)((int64_t)tx * width / tw), x1 = (int32_t)((int64_t)(tx + 1) * width / tw);
            if (x1 <= x0) x1 = x0 + 1;
            uint64_t sum[3] = {0, 0, 0};
            for (int32_t y = y0; y < y1; ++y) {
                const uint8_t* row = rgba + (size_t)(height - 1 - y) * width * 4;
                for (int32_t x = x0; x < x1; ++x)
                    for (int c = 0; c < 3; ++c) sum[c] += row[x * 4 + c];
            }
            uint64_t n = (uint64_t)(y1 - y0) * (uint64_t)(x1 - x0);
            uint8_t* dst = im.rgb.data() + ((size_t)ty * tw + tx) * 3;
            for (int c = 0; c < 3; ++c) dst[c] = (uint8_t)((sum[c] + n / 2) / n);
        }
    }
    return im;
}

namespace {

// 5 × 7 cells, one byte a row, the leftmost pixel in bit 4.
struct Glyph {
    char c;
    uint8_t rows[7];
};
const Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
};

const Glyph* findGlyph(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return &g;
    return nullptr;
}

const int32_t kGlyphAdvance = 6;  // cells, a blank column between glyphs
const int32_t kLabelScale = 2;
const int32_t kSheetGap = 8;
const int32_t kLabelHeight = 7 * kLabelScale + 6;
const uint8_t kSheetBackground = 24;
const uint8_t kSheetText = 230;

}  // namespace

void capDrawText(CaptureImage& image, int32_t x, int32_t y, const std::string& text, int32_t scale,
                 uint8_t grey) {
    if (scale <= 0) return;
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* g = findGlyph(text[i]);
        if (!g) continue;
        int32_t gx = x + (int32_t)i * kGlyphAdvance * scale;
        for (int32_t r = 0; r < 7; ++r)
            for (int32_t c = 0; c < 5; ++c) {
                if (!(g->rows[r] & (0x10 >> c))) continue;
                for (int32_t dy = 0; dy < scale; ++dy)
                    for (int32_t dx = 0; dx < scale; ++dx) {
                        int32_t px = gx + c * scale + dx, py = y + r * scale + dy;
                        if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
                        uint8_t* p = image.rgb.data() + ((size_t)py * image.width + px) * 3;
                        p[0] = p[1] = p[2] = grey;
                    }
            }
    }
}

CaptureImage capContactSheet(const std::vector<CaptureThumb>& thumbs) {
    CaptureImage sheet;
    if (thumbs.empty()) return sheet;
    int32_t cellW = 1, cellH = 1;
    for (const CaptureThumb& t : thumbs) {
        cellW = std::max(cellW, t.image.width);
        cellH = std::max(cellH, t.image.height);
    }
    int32_t columns = (int32_t)std::min<size_t>(thumbs.size(), kSheetColumns);
    int32_t rows = (int32_t)((thumbs.size() + columns - 1) / columns);
    sheet.width = kSheetGap + columns * (cellW + kSheetGap);
    sheet.height = kSheetGap + rows * (cellH + kLabelHeight + kSheetGap);
    sheet.rgb.assign((size_t)sheet.width * sheet.height * 3, kSheetBackground);
    for (size_t i = 0; i < thumbs.size(); ++i) {
        const CaptureImage& im = thumbs[i].image;
        int32_t cx = kSheetGap + (int32_t)(i % columns) * (cellW + kSheetGap);
        int32_t cy = kSheetGap + (int32_t)(i / columns) * (cellH + kLabelHeight + kSheetGap);
        for (int32_t y = 0; y < im.height; ++y)
            memcpy(sheet.rgb.data() + ((size_t)(cy + y) * sheet.width + cx) * 3,
                   im.rgb.data() + (size_t)y * im.width * 3, (size_t)im.width * 3);
        std::string label = capTimeLabel(thumbs[i].ms);
        int32_t textW = ((int32_t)label.size() * kGlyphAdvance - 1) * kLabelScale;
        capDrawText(sheet, cx + (cellW - textW) / 2, cy + cellH + 3, label, kLabelScale, kSheetText);
    }
    return sheet;
}

bool capWritePng(const std::string& path, const CaptureImage& image) {
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() < (size_t)image.width * image.height * 3)
        return false;
    std::string temp = path + ".part";
    if (!stbi_write_png(temp.c_str(), image.width, image.height, 3, image.rgb.data(), image.width * 3)) {
        unlink(temp.c_str());
        return false;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}
