// A recorder of the calls that change files under one directory, loaded into a program with
// LD_PRELOAD. Every open, write, truncation, flush, rename, link, unlink, directory creation and
// close that touches the directory named by TAVOLEN_FSRECORD_ROOT is appended, with the bytes
// written, to the file named by TAVOLEN_FSRECORD_LOG. The power-cut check rebuilds from it every
// state of the directory that a power cut may leave.
//
// One record: a kind byte, the descriptor (int32), two int64 numbers, the lengths of two byte
// strings (uint32 each) and the two strings. Calls and their records are serialised by one lock,
// so the records are in the order the calls took effect.

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);
using WritevFn = ssize_t (*)(int, const struct iovec*, int);
using IntFn = int (*)(int);
using TruncFn = int (*)(int, off_t);
using RenameFn = int (*)(const char*, const char*);
using RenameAtFn = int (*)(int, const char*, int, const char*);
using RenameAt2Fn = int (*)(int, const char*, int, const char*, unsigned);
using UnlinkFn = int (*)(const char*);
using UnlinkAtFn = int (*)(int, const char*, int);
using MkdirFn = int (*)(const char*, mode_t);
using MkdirAtFn = int (*)(int, const char*, mode_t);
using LinkAtFn = int (*)(int, const char*, int, const char*, int);
using Dup2Fn = int (*)(int, int);

template <typename Fn>
Fn real(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

constexpr int kMaxFd = 1 << 16;

struct Recorder {
    bool active = false;
    pid_t pid = 0;
    int log = -1;
    std::string root;
    std::recursive_mutex lock;
    std::vector<unsigned char> tracked = std::vector<unsigned char>(kMaxFd, 0);  // 1 file, 2 dir
    std::vector<unsigned char> append = std::vector<unsigned char>(kMaxFd, 0);

    WriteFn write = real<WriteFn>("write");
    PwriteFn pwrite = real<PwriteFn>("pwrite64");
    OpenFn open = real<OpenFn>("open64");

    Recorder() {
        const char* rootEnv = std::getenv("TAVOLEN_FSRECORD_ROOT");
        const char* logEnv = std::getenv("TAVOLEN_FSRECORD_LOG");
        if (!rootEnv || !logEnv) return;
        root = rootEnv;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        log = open(logEnv, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        pid = getpid();
        active = log >= 0;
        // Each program run starts its own descriptors.
        if (active) emit('P', -1, pid, 0, nullptr, 0);
    }

    bool on() { return active && getpid() == pid; }

    void emit(char kind, int fd, int64_t a, int64_t b, const void* s1, uint32_t n1,
              const void* s2 = nullptr, uint32_t n2 = 0) {
        std::string record(1, kind);
        const auto put = [&](const void* p, size_t n) {
            record.append(static_cast<const char*>(p), n);
        };
        const int32_t fd32 = fd;
        put(&fd32, sizeof fd32);
        put(&a, sizeof a);
        put(&b, sizeof b);
        put(&n1, sizeof n1);
        put(&n2, sizeof n2);
        if (n1) put(s1, n1);
        if (n2) put(s2, n2);
        size_t done = 0;
        while (done < record.size()) {
            const ssize_t n = write(log, record.data() + done, record.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += size_t(n);
        }
    }

    // The path relative to the root ("" for the root itself), or false outside it.
    bool relative(int dirfd, const char* path, std::string& out) {
        if (!path) return false;
        std::string full;
        if (path[0] == '/') {
            full = path;
        } else {
            char base[PATH_MAX];
            if (dirfd == AT_FDCWD) {
                if (!getcwd(base, sizeof base)) return false;
            } else {
                const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
                const ssize_t n = readlink(link.c_str(), base, sizeof base - 1);
                if (n < 0) return false;
                base[n] = 0;
            }
            full = std::string(base) + "/" + path;
        }
        std::vector<std::string> parts;
        size_t at = 0;
        while (at <= full.size()) {
            size_t next = full.find('/', at);
            if (next == std::string::npos) next = full.size();
            const std::string part = full.substr(at, next - at);
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            at = next + 1;
        }
        std::string normal;
        for (const std::string& part : parts) normal += "/" + part;
        if (normal == root) {
            out.clear();
            return true;
        }
        if (normal.size() > root.size() && normal.compare(0, root.size(), root) == 0 &&
            normal[root.size()] == '/') {
            out = normal.substr(root.size() + 1);
            return true;
        }
        return false;
    }

    bool isTracked(int fd) const { return fd >= 0 && fd < kMaxFd && tracked[size_t(fd)]; }

    void opened(int fd, const std::string& rel, int flags, bool existed) {
        if (fd < 0 || fd >= kMaxFd) return;
        struct stat st {};
        const bool dir = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        tracked[size_t(fd)] = dir ? 2 : 1;
        append[size_t(fd)] = (flags & O_APPEND) != 0;
        const bool tmpfile = (flags & O_TMPFILE) == O_TMPFILE;
        const int64_t how = (!existed && !dir ? 1 : 0) | (dir ? 2 : 0) | (tmpfile ? 4 : 0) |
                            ((flags & O_TRUNC) && existed && !dir ? 8 : 0);
        emit('O', fd, flags, how, rel.data(), uint32_t(rel.size()));
    }

    // Offset of the next write() on fd.
    int64_t position(int fd) {
        if (append[size_t(fd)]) {
            struct stat st {};
            return fstat(fd, &st) == 0 ? int64_t(st.st_size) : -1;
        }
        return int64_t(lseek(fd, 0, SEEK_CUR));
    }
};

Recorder& recorder() {
    static Recorder* r = new Recorder;  // never destroyed: calls come until the very end
    return *r;
}

bool exists(int dirfd, const char* path) {
    struct stat st {};
    return fstatat(dirfd, path, &st, 0) == 0;
}

int doOpen(int dirfd, const char* path, int flags, mode_t mode) {
    static const OpenAtFn openat = real<OpenAtFn>("openat64");
    Recorder& r = recorder();
    std::string rel;
    if (!r.on() || !r.relative(dirfd, path, rel)) return openat(dirfd, path, flags, mode);
    std::lock_guard guard(r.lock);
    const bool existed = (flags & O_TMPFILE) == O_TMPFILE || exists(dirfd, path);
    const int fd = openat(dirfd, path, flags, mode);
    if (fd >= 0) r.opened(fd, rel, flags, existed);
    return fd;
}

mode_t modeOf(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

template <typename Call>
auto onFd(int fd, Call call, char kind, int64_t a = 0) {
    Recorder& r = recorder();
    if (!r.on() || !r.isTracked(fd)) return call();
    std::lock_guard guard(r.lock);
    const auto result = call();
    if (result == 0) r.emit(kind, fd, a, 0, nullptr, 0);
    return result;
}

ssize_t recordedWrite(int fd, const void* data, int64_t offset, ssize_t n) {
    if (n > 0) recorder().emit('W', fd, offset, 0, data, uint32_t(n));
    return n;
}

int doRename(int olddir, const char* oldpath, int newdir, const char* newpath, unsigned flags) {
    static const RenameAt2Fn renameat2 = real<RenameAt2Fn>("renameat2");
    Recorder& r = recorder();
    std::string from, to;
    const bool in = r.on() && r.relative(olddir, oldpath, from);
    const bool out = r.on() && r.relative(newdir, newpath, to);
    if (!in && !out) return renameat2(olddir, oldpath, newdir, newpath, flags);
    std::lock_guard guard(r.lock);
    const int rc = renameat2(olddir, oldpath, newdir, newpath, flags);
    // A file brought in from outside or taken out is recorded as such, so the check sees a
    // change it cannot rebuild rather than a wrong one.
    if (rc == 0)
        r.emit('R', in ? 0 : -1, out ? 0 : -1, 0, from.data(), uint32_t(from.size()), to.data(),
               uint32_t(to.size()));
    return rc;
}

int doUnlink(int dirfd, const char* path, int flags) {
    static const UnlinkAtFn unlinkat = real<UnlinkAtFn>("unlinkat");
    Recorder& r = recorder();
    std::string rel;
    if (!r.on() || !r.relative(dirfd, path, rel)) return unlinkat(dirfd, path, flags);
    std::lock_guard guard(r.lock);
    const int rc = unlinkat(dirfd, path, flags);
    if (rc == 0) r.emit('U', -1, flags, 0, rel.data(), uint32_t(rel.size()));
    return rc;
}

int doMkdir(int dirfd, const char* path, mode_t mode) {
    static const MkdirAtFn mkdirat = real<MkdirAtFn>("mkdirat");
    Recorder& r = recorder();
    std::string rel;
    if (!r.on() || !r.relative(dirfd, path, rel)) return mkdirat(dirfd, path, mode);
    std::lock_guard guard(r.lock);
    const int rc = mkdirat(dirfd, path, mode);
    if (rc == 0) r.emit('M', -1, 0, 0, rel.data(), uint32_t(rel.size()));
    return rc;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return doOpen(AT_FDCWD, path, flags, mode);
}

// The same calls under their large-file names.
__attribute__((visibility("default"), alias("open"))) int open64(const char* path, int flags, ...);

__attribute__((visibility("default"))) int openat(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return doOpen(dirfd, path, flags, mode);
}

__attribute__((visibility("default"), alias("openat"))) int openat64(int dirfd, const char* path,
                                                                     int flags, ...);

__attribute__((visibility("default"))) int creat(const char* path, mode_t mode) {
    return doOpen(AT_FDCWD, path, O_CREAT | O_WRONLY | O_TRUNC, mode);
}

__attribute__((visibility("default"), alias("creat"))) int creat64(const char* path, mode_t mode);

__attribute__((visibility("default"))) ssize_t write(int fd, const void* data, size_t size) {
    Recorder& r = recorder();
    if (!r.on() || !r.isTracked(fd)) return r.write(fd, data, size);
    std::lock_guard guard(r.lock);
    const int64_t offset = r.position(fd);
    return recordedWrite(fd, data, offset, r.write(fd, data, size));
}

__attribute__((visibility("default"))) ssize_t pwrite(int fd, const void* data, size_t size,
                                                      off_t offset) {
    Recorder& r = recorder();
    if (!r.on() || !r.isTracked(fd)) return r.pwrite(fd, data, size, offset);
    std::lock_guard guard(r.lock);
    return recordedWrite(fd, data, offset, r.pwrite(fd, data, size, offset));
}

__attribute__((visibility("default"))) ssize_t pwrite64(int fd, const void* data, size_t size,
                                                        off_t offset) {
    return pwrite(fd, data, size, offset);
}

__attribute__((visibility("default"))) ssize_t writev(int fd, const struct iovec* iov, int count) {
    static const WritevFn writev = real<WritevFn>("writev");
    Recorder& r = recorder();
    if (!r.on() || !r.isTracked(fd)) return writev(fd, iov, count);
    std::lock_guard guard(r.lock);
    const int64_t offset = r.position(fd);
    const ssize_t n = writev(fd, iov, count);
    std::string data;
    for (int i = 0; i < count && n > 0 && data.size() < size_t(n); ++i)
        data.append(static_cast<const char*>(iov[i].iov_base), iov[i].iov_len);
    if (n > 0) data.resize(size_t(n));
    return recordedWrite(fd, data.data(), offset, n);
}

__attribute__((visibility("default"))) int fsync(int fd) {
    static const IntFn fsync = real<IntFn>("fsync");
    return onFd(
        fd, [&] { return fsync(fd); }, 'S');
}

__attribute__((visibility("default"))) int fdatasync(int fd) {
    static const IntFn fdatasync = real<IntFn>("fdatasync");
    return onFd(
        fd, [&] { return fdatasync(fd); }, 'S');
}

__attribute__((visibility("default"))) int ftruncate(int fd, off_t size) {
    static const TruncFn ftruncate = real<TruncFn>("ftruncate64");
    return onFd(
        fd, [&] { return ftruncate(fd, size); }, 'T', size);
}

__attribute__((visibility("default"))) int ftruncate64(int fd, off_t size) {
    return ftruncate(fd, size);
}

__attribute__((visibility("default"))) int close(int fd) {
    static const IntFn close = real<IntFn>("close");
    Recorder& r = recorder();
    if (!r.on() || !r.isTracked(fd)) return close(fd);
    std::lock_guard guard(r.lock);
    r.tracked[size_t(fd)] = 0;
    r.emit('C', fd, 0, 0, nullptr, 0);
    return close(fd);
}

__attribute__((visibility("default"))) int dup2(int from, int to) {
    static const Dup2Fn dup2 = real<Dup2Fn>("dup2");
    Recorder& r = recorder();
    if (!r.on() || (!r.isTracked(from) && !r.isTracked(to))) return dup2(from, to);
    std::lock_guard guard(r.lock);
    const int rc = dup2(from, to);
    if (rc >= 0 && rc < kMaxFd) {
        if (r.isTracked(to)) r.emit('C', to, 0, 0, nullptr, 0);
        r.tracked[size_t(rc)] = r.isTracked(from) ? r.tracked[size_t(from)] : 0;
        r.append[size_t(rc)] = r.append[size_t(from)];
        if (r.isTracked(rc)) r.emit('D', rc, from, 0, nullptr, 0);
    }
    return rc;
}

__attribute__((visibility("default"))) int rename(const char* from, const char* to) {
    return doRename(AT_FDCWD, from, AT_FDCWD, to, 0);
}

__attribute__((visibility("default"))) int renameat(int olddir, const char* from, int newdir,
                                                    const char* to) {
    return doRename(olddir, from, newdir, to, 0);
}

__attribute__((visibility("default"))) int renameat2(int olddir, const char* from, int newdir,
                                                     const char* to, unsigned flags) {
    return doRename(olddir, from, newdir, to, flags);
}

__attribute__((visibility("default"))) int unlink(const char* path) {
    return doUnlink(AT_FDCWD, path, 0);
}

__attribute__((visibility("default"))) int unlinkat(int dirfd, const char* path, int flags) {
    return doUnlink(dirfd, path, flags);
}

__attribute__((visibility("default"))) int rmdir(const char* path) {
    return doUnlink(AT_FDCWD, path, AT_REMOVEDIR);
}

__attribute__((visibility("default"))) int mkdir(const char* path, mode_t mode) {
    return doMkdir(AT_FDCWD, path, mode);
}

__attribute__((visibility("default"))) int mkdirat(int dirfd, const char* path, mode_t mode) {
    return doMkdir(dirfd, path, mode);
}

__attribute__((visibility("default"))) int linkat(int olddir, const char* from, int newdir,
                                                  const char* to, int flags) {
    static const LinkAtFn linkat = real<LinkAtFn>("linkat");
    Recorder& r = recorder();
    std::string rel;
    if (!r.on() || !r.relative(newdir, to, rel)) return linkat(olddir, from, newdir, to, flags);
    std::lock_guard guard(r.lock);
    const int rc = linkat(olddir, from, newdir, to, flags);
    if (rc != 0) return rc;
    // A file made with O_TMPFILE gets its name by its descriptor, directly or through /proc.
    int fd = -1;
    std::string source;
    if ((flags & AT_EMPTY_PATH) && !from[0])
        fd = olddir;
    else if (std::strncmp(from, "/proc/self/fd/", 14) == 0)
        fd = std::atoi(from + 14);
    else if (!r.relative(olddir, from, source))
        fd = -2;  // a file from outside: not rebuildable
    r.emit('L', fd, 0, 0, source.data(), uint32_t(source.size()), rel.data(), uint32_t(rel.size()));
    return rc;
}

}  // extern "C"
