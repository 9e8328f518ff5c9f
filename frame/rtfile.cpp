#include "rtfile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool TryReadFile(const char* path, std::string& out, int* code) {
    out.clear();
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (code) *code = RtOpenErrorCode(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        if (code) *code = 2;
        return false;
    }
    if (st.st_size > 0) out.reserve((size_t)st.st_size);
    char buf[1 << 16];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            close(fd);
            if (code) *code = 100;
            return false;
        }
        out.append(buf, (size_t)n);
    }
    close(fd);
    return true;
}

ShortString RtJoinPath(const ShortString& folder, const ShortString& name) {
    std::string whole = str(folder) + "/" + str(name);
    if (whole.size() > 255) RunError(3, ("path longer than 255 characters: " + whole).c_str());
    return S(whole);
}

std::string RtReadFile(const char* path) {
    std::string out;
    int code = 0;
    if (!TryReadFile(path, out, &code)) {
        std::string what = std::string("cannot read ") + path;
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
