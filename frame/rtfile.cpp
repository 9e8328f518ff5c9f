#include "rtfile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>

#include "../modules/base/filerule.h"
#include "runerror.h"

int RtOpenErrorCode(int err) {
    switch (err) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES: case EPERM: return 5;
    case EISDIR: return 2;
    case EMFILE: case ENFILE: return 4;
    default: return 2;
    }
}

namespace {

const char* openFailure(int err) {
    switch (err) {
    case ENOENT: return "no such file";
    case ENOTDIR: return "no such folder";
    case EACCES: case EPERM: return "access denied";
    case ELOOP: return "too many levels of symbolic links";
    default: return strerror(err);
    }
}

bool fail(int* code, std::string* why, int c, const std::string& text) {
    if (code) *code = c;
    if (why) *why = text;
    return false;
}

}  // namespace

bool TryReadFile(const char* path, std::string& out, int* code, std::string* why) {
    out.clear();
    int fd = vfOpen(path);
    if (fd < 0) {
        int err = errno;
        return fail(code, why, err == ELOOP ? 3 : RtOpenErrorCode(err), openFailure(err));
    }
    long long size = 0;
    VfVerdict v = vfCheck(fd, &size);
    if (v != VF_OK) {
        close(fd);
        return fail(code, why, v == VF_TOO_LARGE ? 203 : 2, vfVerdictText(v));
    }
    if (size > 0) out.reserve((size_t)size);
    char buf[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            close(fd);
            out.clear();
            return fail(code, why, 100, std::string("read error: ") + strerror(err));
        }
        // A file that grows while it is read is held to the limit too.
        if ((long long)out.size() + n > VELMAR_MAX_FILE_BYTES) {
            close(fd);
            out = std::string();
            return fail(code, why, 203, vfVerdictText(VF_TOO_LARGE));
        }
        out.append(buf, (size_t)n);
    }
    close(fd);
    return true;
}

namespace {
// The standard conversion takes a minus but no plus: one plus is dropped here,
// and nothing may follow it but the digits.
bool unsigned_after_plus(std::string_view& v) {
    if (v.empty() || v.front() != '+') return true;
    v.remove_prefix(1);
    return !v.empty() && v.front() != '-' && v.front() != '+';
}
}  // namespace

bool RtParseInt(std::string_view v, int32_t& out) {
    int32_t n = 0;
    if (!unsigned_after_plus(v) || v.empty()) return false;
    auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size()) return false;
    out = n;
    return true;
}

bool RtParseReal(std::string_view v, float& out) {
    float f = 0;
    if (!unsigned_after_plus(v) || v.empty()) return false;
    auto r = std::from_chars(v.data(), v.data() + v.size(), f);
    if (r.ec != std::errc() || r.ptr != v.data() + v.size() || !std::isfinite(f)) return false;
    out = f;
    return true;
}

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += (char)c;
        } else {
            char b[8];
            snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        }
    }
    return out;
}

ShortString RtJoinPath(const ShortString& folder, const ShortString& name) {
    std::string whole = str(folder) + "/" + str(name);
    if (whole.size() > 255) RunError(3, ("path longer than 255 characters: " + whole).c_str());
    return S(whole);
}

std::string RtReadFile(const char* path) {
    std::string out, why;
    int code = 0;
    if (!TryReadFile(path, out, &code, &why)) {
        std::string what = std::string("cannot read ") + path + ": " + why;
        RunError(code, what.c_str());
    }
    return out;
}

bool TryWriteFileAtomic(const char* path, const std::string& data, std::string* why) {
    std::string tmp = std::string(path) + ".tmp" + std::to_string(getpid());
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) {
        if (why) *why = strerror(errno);
        return false;
    }
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path) != 0) {
        if (why) *why = strerror(errno);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool trEof(const TextReader& r) { return r.pos >= r.size; }

ShortString trReadLine(TextReader& r) {
    size_t start = r.pos;
    const char* nl = r.pos < r.size ? (const char*)memchr(r.data + r.pos, '\n', r.size - r.pos) : nullptr;
    size_t end = nl ? (size_t)(nl - r.data) : r.size;
    r.pos = nl ? end + 1 : r.size;
    if (end > start && r.data[end - 1] == '\r') --end;
    return S(std::string_view(r.data + start, end - start));
}
