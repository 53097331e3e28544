// SPDX-License-Identifier: Apache-2.0
// POSIX file operations of the store.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "file_system.h"
#include "tarnwick/config.h"

namespace cfg {
namespace {

// The one place where errno becomes a code; fallback names the step that failed.
int32_t code_from_errno(int err, int32_t fallback) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return CONFIG_E_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return CONFIG_E_ACCESS;
        case ENOSPC:
        case EDQUOT:
            return CONFIG_E_NO_SPACE;
        case EISDIR:
        case ELOOP:
            return CONFIG_E_NOT_FILE;
        case ENOMEM:
            return CONFIG_E_NO_MEMORY;
        default:
            return fallback;
    }
}

// Closes a descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

std::string directory_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ours_or_roots(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

// Users other than the caller and root may create or replace entries in the directory: it is
// writable by everyone (the sticky bit only keeps them from removing each other's entries), or
// its owner is another user. A group-writable directory is its administrator's choice.
bool is_shared_directory(const struct stat& dir) { return (dir.st_mode & S_IWOTH) != 0 || !ours_or_roots(dir); }

// What a descriptor of a directory needs: searching it, not reading its entries.
#ifdef O_PATH
constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// The system's own limit on links followed in one path is of this order.
constexpr int kMaxLinks = 40;

// Opens path for reading and judges what it holds. Each step opens the directory, judges it on
// its descriptor, and opens the entry relative to that descriptor without following a link,
// so that no name can be swapped in between: the file judged is the file read. A link is
// judged as an entry of its directory, then followed one hop.
int32_t open_judged(const std::string& path, int* out, struct stat* st) {
    std::string current = path;
    for (int hops = 0;; ++hops) {
        const std::string dir = directory_of(current);
        const std::string name = name_of(current);
        Fd dirfd(::open(dir.c_str(), kDirectoryFlags));
        if (dirfd.get() < 0) return code_from_errno(errno, CONFIG_E_READ);
        struct stat dst;
        if (::fstat(dirfd.get(), &dst) != 0) return code_from_errno(errno, CONFIG_E_READ);
        const bool shared = is_shared_directory(dst);
        // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below. The flag
        // stays: reads of a regular file ignore it (the reader handles the one exception).
        Fd fd(::openat(dirfd.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY));
        if (fd.get() >= 0) {
            if (::fstat(fd.get(), st) != 0) return code_from_errno(errno, CONFIG_E_READ);
            if (shared && !ours_or_roots(*st)) return CONFIG_E_UNTRUSTED;
            if (!S_ISREG(st->st_mode)) return CONFIG_E_NOT_FILE;
            *out = fd.release();
            return CONFIG_OK;
        }
        if (errno != ELOOP) return code_from_errno(errno, CONFIG_E_READ);
        // O_NOFOLLOW met a symbolic link, judged as an entry of its own directory.
        struct stat link;
        if (::fstatat(dirfd.get(), name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
            return code_from_errno(errno, CONFIG_E_READ);
        if (shared && !ours_or_roots(link)) return CONFIG_E_UNTRUSTED;
        if (!S_ISLNK(link.st_mode)) continue;  // replaced meanwhile: judged again
        if (hops == kMaxLinks) return CONFIG_E_NOT_FILE;
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlinkat(dirfd.get(), name.c_str(), buffer.data(), buffer.size());
        if (n < 0) {
            // No longer a link since fstatat: judged again as whatever is there now.
            if (errno == EINVAL) continue;
            return code_from_errno(errno, CONFIG_E_READ);
        }
        if (n == 0 || static_cast<size_t>(n) >= buffer.size()) return CONFIG_E_READ;
        const std::string target(buffer.data(), static_cast<size_t>(n));
        current = target.front() == '/' ? target : dir + "/" + target;
    }
}

// Random letters and digits for a temporary file's name, from the system's generator.
bool random_name_part(std::string* part) {
    unsigned char bytes[12];
    if (!os_random(bytes, sizeof bytes)) return false;
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    part->clear();
    for (const unsigned char b : bytes) part->push_back(kDigits[b % 36]);
    return true;
}

FileStamp stamp_of(const struct stat& st) {
    FileStamp s;
    s.valid = true;
    s.device = static_cast<uint64_t>(st.st_dev);
    s.file = static_cast<uint64_t>(st.st_ino);
    s.size = static_cast<uint64_t>(st.st_size);
    s.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

class PosixReadableFile final : public ReadableFile {
public:
    PosixReadableFile(int fd, const struct stat& st)
        : fd_(fd), size_(static_cast<uint64_t>(st.st_size)), stamp_(stamp_of(st)) {}
    int32_t read(char* buffer, size_t capacity, size_t* got) override {
        *got = 0;
        if (at_end_) return CONFIG_OK;
        // Keep each request well inside ssize_t.
        if (capacity > (size_t{1} << 30)) capacity = size_t{1} << 30;
        for (;;) {
            const ssize_t n = ::read(fd_.get(), buffer, capacity);
            if (n >= 0) {
                *got = static_cast<size_t>(n);
                offset_ += static_cast<uint64_t>(n);
                // A read that stops short exactly at the size the file had when it was opened
                // has met its end: asking again would only return nothing. A file grown since
                // fills the request, and one shrunk stops elsewhere; both read on to the end.
                at_end_ = static_cast<size_t>(n) < capacity && offset_ == size_;
                return CONFIG_OK;
            }
            if (errno == EINTR) continue;
            // The file was opened O_NONBLOCK (see open_for_read), which a regular file only
            // heeds under a mandatory lock: wait for it like any reader would.
            if (errno == EAGAIN && !blocking_) {
                const int flags = ::fcntl(fd_.get(), F_GETFL);
                if (flags >= 0 && ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) == 0) {
                    blocking_ = true;
                    continue;
                }
            }
            return code_from_errno(errno, CONFIG_E_READ);
        }
    }
    uint64_t size_hint() const override { return size_; }
    FileStamp stamp() const override { return stamp_; }

private:
    Fd fd_;
    uint64_t size_;
    FileStamp stamp_;
    uint64_t offset_ = 0;  // bytes read so far
    bool at_end_ = false;
    bool blocking_ = false;  // O_NONBLOCK cleared
};

// What the replacement keeps of the file it replaces.
struct Kept {
    bool exists = false;
    uid_t uid = 0;
    gid_t gid = 0;
    mode_t mode = 0600;
};

class PosixWritableFile final : public WritableFile {
public:
    PosixWritableFile(int fd, const Kept& kept) : fd_(fd), kept_(kept) {}
    int32_t append(std::string_view bytes) override {
        while (!bytes.empty()) {
            const size_t chunk = bytes.size() < (size_t{1} << 30) ? bytes.size() : (size_t{1} << 30);
            const ssize_t n = ::write(fd_.get(), bytes.data(), chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                return code_from_errno(errno, CONFIG_E_WRITE);
            }
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return CONFIG_OK;
    }
    int32_t sync() override {
        if (::fsync(fd_.get()) != 0) return code_from_errno(errno, CONFIG_E_FLUSH);
        return CONFIG_OK;
    }
    int32_t finish() override {
        // Owner first: changing it may clear set-id bits that fchmod then restores. Only a
        // privileged process may give a file away; failing that, keep the group where we may,
        // else the file stays ours like any file we create.
        mode_t mode = kept_.mode;
        if (kept_.exists && (kept_.uid != ::geteuid() || kept_.gid != ::getegid())) {
            const bool owner_kept = ::fchown(fd_.get(), kept_.uid, kept_.gid) == 0;
            if (!owner_kept) (void)::fchown(fd_.get(), static_cast<uid_t>(-1), kept_.gid);
            // The old file was another user's, and what we wrote stays ours: that user may have
            // opened the old file to everyone in order to read what we write into it.
            if (!owner_kept && kept_.uid != ::geteuid() && kept_.uid != 0) mode &= ~mode_t{077};
        }
        // Set outright: the umask has no say in the mode of a replacement or of a new file.
        if (::fchmod(fd_.get(), mode) != 0) return code_from_errno(errno, CONFIG_E_CREATE);
        return CONFIG_OK;
    }
    int32_t close() override {
        const int fd = fd_.release();
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) return code_from_errno(errno, CONFIG_E_WRITE);
        return CONFIG_OK;
    }

private:
    Fd fd_;
    Kept kept_;
};

class PosixFileSystem final : public FileSystem {
public:
    int32_t open_for_read(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
        if (path.empty()) return CONFIG_E_NOT_FOUND;
        int raw = -1;
        struct stat st;
        const int32_t rc = open_judged(path, &raw, &st);
        if (rc != CONFIG_OK) return rc;
        Fd fd(raw);
        file->reset(new PosixReadableFile(fd.get(), st));
        fd.release();
        return CONFIG_OK;
    }

    int32_t probe(const std::string& path) override {
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) return CONFIG_OK;
        return code_from_errno(errno, CONFIG_E_READ);
    }

    int32_t resolve_links(const std::string& path, std::string* target) override {
        std::string current = path;
        for (int hops = 0;; ++hops) {
            struct stat st;
            if (::lstat(current.c_str(), &st) != 0) {
                // A new file is fine; a link to nothing would create a file wherever it points.
                if (errno == ENOENT) {
                    if (hops > 0) return CONFIG_E_NOT_FOUND;
                    break;
                }
                return code_from_errno(errno, CONFIG_E_READ);
            }
            if (!S_ISLNK(st.st_mode)) break;
            // The kernel's protected-links rule, enforced whatever the system's setting: a link
            // another user owns may be theirs to aim at any file of ours.
            if (st.st_uid != ::geteuid() && st.st_uid != 0) return CONFIG_E_ACCESS;
            if (hops == kMaxLinks) return CONFIG_E_NOT_FILE;
            std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
            const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
            if (n < 0) {
                // Changed since lstat by another process: no longer a link, or gone (a new file
                // when it was the path itself), as if lstat had found it so.
                if (errno == EINVAL || (errno == ENOENT && hops == 0)) break;
                return code_from_errno(errno, CONFIG_E_READ);
            }
            // Empty, or grown since lstat: not a link this code can follow safely.
            if (n == 0 || static_cast<size_t>(n) >= buffer.size()) return CONFIG_E_READ;
            const std::string link(buffer.data(), static_cast<size_t>(n));
            current = link.front() == '/' ? link : directory_of(current) + "/" + link;
        }
        *target = current;
        return CONFIG_OK;
    }

    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<WritableFile>* file) override {
        struct stat st;
        bool exists = ::lstat(target.c_str(), &st) == 0;
        if (!exists && errno != ENOENT) return code_from_errno(errno, CONFIG_E_CREATE);
        Kept kept;
        if (exists) {
            if (!S_ISREG(st.st_mode)) return CONFIG_E_NOT_FILE;
            // Replacing by rename needs only the directory; a read-only file must stay so. No
            // write bit at all marks a file read-only even for a privileged process.
            if ((st.st_mode & 0222) == 0) return CONFIG_E_ACCESS;
            if (::access(target.c_str(), W_OK) != 0) {
                // Removed by another process since lstat: written as a new file.
                if (errno != ENOENT) return code_from_errno(errno, CONFIG_E_ACCESS);
                exists = false;
            }
        }
        if (exists) kept = Kept{true, st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 07777)};
        // A random name: in a shared directory another user could otherwise create every name
        // a save will try before it tries them. A name taken all the same is passed over.
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string part;
            if (!random_name_part(&part)) return CONFIG_E_CREATE;
            std::string name = target + "." + part + ".tmp";
            // Readable by its creator alone while it is written: it may hold secrets of a file
            // that others may not read. O_EXCL never follows a link.
            Fd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (fd.get() < 0) {
                if (errno == EEXIST) continue;
                return code_from_errno(errno, CONFIG_E_CREATE);
            }
            file->reset(new PosixWritableFile(fd.release(), kept));
            *temp_path = std::move(name);
            return CONFIG_OK;
        }
        return CONFIG_E_CREATE;
    }

    int32_t replace(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) return code_from_errno(errno, CONFIG_E_REPLACE);
        return CONFIG_OK;
    }

    int32_t sync_dir(const std::string& path) override {
        Fd fd(::open(directory_of(path).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY));
        if (fd.get() < 0) return code_from_errno(errno, CONFIG_E_DURABILITY);
        // Some file systems cannot sync a directory and say so with EINVAL; nothing more to do.
        if (::fsync(fd.get()) != 0 && errno != EINVAL) return code_from_errno(errno, CONFIG_E_DURABILITY);
        return CONFIG_OK;
    }

    int32_t remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) return code_from_errno(errno, CONFIG_E_IO);
        return CONFIG_OK;
    }

    int32_t stamp(const std::string& path, FileStamp* stamp) override {
        *stamp = FileStamp();
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return code_from_errno(errno, CONFIG_E_READ);
        if (S_ISREG(st.st_mode)) *stamp = stamp_of(st);
        return CONFIG_OK;
    }
};

}  // namespace

FileSystem& os_file_system() {
    static PosixFileSystem fs;
    return fs;
}

bool os_random(void* out, size_t size) {
    auto* bytes = static_cast<unsigned char*>(out);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::getrandom(bytes + got, size - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

const char* native_line_ending() { return "\n"; }

}  // namespace cfg
