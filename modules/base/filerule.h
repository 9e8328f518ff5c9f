/* filerule.h - which files the program and its modules read whole.
 *
 * One rule for every reader (the program's files, the texture loader's
 * images, the tools): a regular file of at most VELMAR_MAX_FILE_BYTES. A
 * folder, a device (/dev/zero), a named pipe or a socket is refused before
 * a byte is read, so nothing blocks or reads without end; the limit lies far
 * above the largest real scene and keeps a huge or sparse file from being
 * reserved whole. Open with vfOpen (never blocks on a pipe), then vfCheck.
 */
#ifndef VELMAR_FILERULE_H
#define VELMAR_FILERULE_H

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define VELMAR_MAX_FILE_BYTES (1024LL * 1024 * 1024)
#define VELMAR_MAX_FILE_TEXT "1 GiB"

enum VfVerdict { VF_OK = 0, VF_FOLDER, VF_NOT_REGULAR, VF_TOO_LARGE, VF_STAT_FAILED };

/* Opens for reading without waiting for a pipe's writer; -1 with errno. */
static inline int vfOpen(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

/* What the rule says of an open file; its size in *size when VF_OK. */
static inline enum VfVerdict vfCheck(int fd, long long* size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return VF_STAT_FAILED;
    if (S_ISDIR(st.st_mode)) return VF_FOLDER;
    if (!S_ISREG(st.st_mode)) return VF_NOT_REGULAR;
    if (st.st_size > VELMAR_MAX_FILE_BYTES) return VF_TOO_LARGE;
    if (size) *size = (long long)st.st_size;
    return VF_OK;
}

static inline const char* vfVerdictText(enum VfVerdict v) {
    switch (v) {
    case VF_FOLDER: return "it is a folder";
    case VF_NOT_REGULAR: return "not a regular file";
    case VF_TOO_LARGE: return "larger than " VELMAR_MAX_FILE_TEXT;
    case VF_STAT_FAILED: return "cannot be examined";
    default: return "";
    }
}

#endif
