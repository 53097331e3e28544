// Windows file operations of the store (narrow "A" functions: paths are the caller's bytes in
// the system's code page).
#include <windows.h>

#include <bcrypt.h>

#include <string>
#include <vector>

#include "config.h"
#include "file_system.h"

namespace cfg {
namespace {

// The one place where a Windows error becomes a code; fallback names the step that failed.
int32_t code_from_error(DWORD err, int32_t fallback) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return CONFIG_E_NOT_FOUND;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            return CONFIG_E_ACCESS;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_UNABLE_TO_REMOVE_REPLACED:
            return CONFIG_E_SHARING;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return CONFIG_E_NO_SPACE;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return CONFIG_E_NO_MEMORY;
        case ERROR_CANT_RESOLVE_FILENAME:
            return CONFIG_E_NOT_FILE;
        default:
            return fallback;
    }
}

// Another process (typically a virus scanner or an indexer) has the file open for a moment.
bool is_sharing_error(DWORD err) { return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION; }

// Replacing also meets these while a scanner holds the old or the new file.
bool is_busy_replacing(DWORD err) { return is_sharing_error(err) || err == ERROR_ACCESS_DENIED; }

// Replacing waits longer: every process that reads the file holds it open for a moment, and on
// a loaded machine a reader descheduled while it holds the file can outlast a second.
constexpr int kReplaceAttempts = 100;

// Runs op until it succeeds or fails otherwise than transient(err), every 50 ms, attempts times
// at most (the default: about one second in all). On failure GetLastError() holds op's last error.
template <typename Op, typename Transient>
bool retrying(Op&& op, Transient&& transient, int attempts = 20) {
    for (int attempt = 1;; ++attempt) {
        if (op()) return true;
        const DWORD err = GetLastError();
        if (attempt == attempts || !transient(err)) {
            SetLastError(err);
            return false;
        }
        Sleep(50);
    }
}

// Reads the access-control list of file into *descriptor (a self-relative security
// descriptor). A file system without access lists, or a file gone meanwhile, leaves it empty,
// which is no failure; any other failure to read it is, with GetLastError() telling why.
bool read_dacl(const std::string& file, std::vector<char>* descriptor) {
    descriptor->clear();
    const auto read = [&] {
        DWORD needed = 0;
        GetFileSecurityA(file.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
        if (needed == 0) return false;
        descriptor->resize(needed);
        if (GetFileSecurityA(file.c_str(), DACL_SECURITY_INFORMATION, descriptor->data(), needed, &needed)) return true;
        const DWORD err = GetLastError();
        descriptor->clear();
        SetLastError(err);
        return false;
    };
    // While another process replaces the file, the old one may refuse to be read for a moment,
    // and its list may change between the two calls.
    if (retrying(read, [](DWORD err) { return is_busy_replacing(err) || err == ERROR_INSUFFICIENT_BUFFER; }))
        return true;
    // Gone (another process replaced it, and the system did so in two steps): nothing to carry
    // over, like a missing file; so for a file system without access lists.
    const DWORD err = GetLastError();
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_NOT_SUPPORTED ||
           err == ERROR_INVALID_FUNCTION;
}

// Puts the access-control list of file onto onto; failing to read or to set it is a failure.
bool copy_dacl(const std::string& file, const std::string& onto) {
    std::vector<char> descriptor;
    if (!read_dacl(file, &descriptor)) return false;
    if (descriptor.empty()) return true;
    return SetFileSecurityA(onto.c_str(), DACL_SECURITY_INFORMATION, descriptor.data()) != 0;
}

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE release() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void reset() {
        if (valid()) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

// Largest request handed to ReadFile / WriteFile at once.
constexpr DWORD kMaxIo = DWORD{1} << 30;

// The version of an open file; invalid when the system tells none.
FileStamp stamp_of(HANDLE h) {
    FileStamp s;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return s;
    s.valid = true;
    s.device = info.dwVolumeSerialNumber;
    s.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    s.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    s.modified = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                      info.ftLastWriteTime.dwLowDateTime);
    return s;
}

class WinReadableFile final : public ReadableFile {
public:
    WinReadableFile(HANDLE h, uint64_t size) : h_(h), size_(size), stamp_(stamp_of(h)) {}
    int32_t read(char* buffer, size_t capacity, size_t* got) override {
        *got = 0;
        if (at_end_) return CONFIG_OK;
        const DWORD want = capacity < kMaxIo ? static_cast<DWORD>(capacity) : kMaxIo;
        DWORD n = 0;
        if (!ReadFile(h_.get(), buffer, want, &n, nullptr)) return code_from_error(GetLastError(), CONFIG_E_READ);
        *got = n;
        offset_ += n;
        // A read that stops short exactly at the size the file had when it was opened has met
        // its end; a file grown or shrunk since reads on until ReadFile returns nothing.
        at_end_ = n < want && offset_ == size_;
        return CONFIG_OK;
    }
    uint64_t size_hint() const override { return size_; }
    FileStamp stamp() const override { return stamp_; }

private:
    Handle h_;
    uint64_t size_;
    FileStamp stamp_;
    uint64_t offset_ = 0;  // bytes read so far
    bool at_end_ = false;
};

class WinWritableFile final : public WritableFile {
public:
    explicit WinWritableFile(HANDLE h) : h_(h) {}
    int32_t append(std::string_view bytes) override {
        while (!bytes.empty()) {
            const DWORD want = bytes.size() < kMaxIo ? static_cast<DWORD>(bytes.size()) : kMaxIo;
            DWORD n = 0;
            if (!WriteFile(h_.get(), bytes.data(), want, &n, nullptr))
                return code_from_error(GetLastError(), CONFIG_E_WRITE);
            if (n == 0) return CONFIG_E_WRITE;
            bytes.remove_prefix(n);
        }
        return CONFIG_OK;
    }
    int32_t sync() override {
        if (!FlushFileBuffers(h_.get())) return code_from_error(GetLastError(), CONFIG_E_FLUSH);
        return CONFIG_OK;
    }
    int32_t close() override {
        const HANDLE h = h_.release();
        if (h != INVALID_HANDLE_VALUE && !CloseHandle(h)) return code_from_error(GetLastError(), CONFIG_E_WRITE);
        return CONFIG_OK;
    }

private:
    Handle h_;
};

class WinFileSystem final : public FileSystem {
public:
    int32_t open_for_read(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
        const DWORD attrs = GetFileAttributesA(path.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) return code_from_error(GetLastError(), CONFIG_E_READ);
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) return CONFIG_E_NOT_FILE;
        HANDLE raw = INVALID_HANDLE_VALUE;
        const bool opened = retrying(
            [&] {
                raw = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
                return raw != INVALID_HANDLE_VALUE;
            },
            is_sharing_error);
        if (!opened) return code_from_error(GetLastError(), CONFIG_E_READ);
        Handle h(raw);
        if (GetFileType(h.get()) != FILE_TYPE_DISK) return CONFIG_E_NOT_FILE;  // a device or pipe
        LARGE_INTEGER size;
        if (!GetFileSizeEx(h.get(), &size)) return code_from_error(GetLastError(), CONFIG_E_READ);
        file->reset(new WinReadableFile(h.release(), static_cast<uint64_t>(size.QuadPart)));
        return CONFIG_OK;
    }

    int32_t probe(const std::string& path) override {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return CONFIG_OK;
        return code_from_error(GetLastError(), CONFIG_E_READ);
    }

    int32_t resolve_links(const std::string& path, std::string* target) override {
        const DWORD attrs = GetFileAttributesA(path.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
            *target = path;
            return CONFIG_OK;
        }
        // The system resolves the whole chain of links when it opens the file.
        Handle h(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h.valid()) {
            const DWORD err = GetLastError();
            if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) {
                *target = path;  // a dangling link: replaced like a missing file
                return CONFIG_OK;
            }
            return code_from_error(err, CONFIG_E_READ);
        }
        std::vector<char> buffer(MAX_PATH + 1);
        for (;;) {
            const DWORD n = GetFinalPathNameByHandleA(h.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (n == 0) return code_from_error(GetLastError(), CONFIG_E_READ);
            if (n < buffer.size()) {
                std::string final_path(buffer.data(), n);
                if (final_path.compare(0, 8, "\\\\?\\UNC\\") == 0)
                    final_path = "\\\\" + final_path.substr(8);
                else if (final_path.compare(0, 4, "\\\\?\\") == 0)
                    final_path = final_path.substr(4);
                *target = final_path;
                return CONFIG_OK;
            }
            buffer.resize(n + 1);
        }
    }

    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<WritableFile>* file) override {
        const DWORD attrs = GetFileAttributesA(target.c_str());
        // The target's access list, given to the temporary file as it is created: the
        // directory's inherited list may be more open, and the file holds the target's secrets
        // from its first byte.
        std::vector<char> descriptor;
        if (attrs == INVALID_FILE_ATTRIBUTES) {
            const DWORD err = GetLastError();
            if (err != ERROR_FILE_NOT_FOUND) return code_from_error(err, CONFIG_E_CREATE);
        } else {
            if (attrs & FILE_ATTRIBUTE_DIRECTORY) return CONFIG_E_NOT_FILE;
            if (attrs & FILE_ATTRIBUTE_READONLY) return CONFIG_E_ACCESS;
            if (!read_dacl(target, &descriptor)) return code_from_error(GetLastError(), CONFIG_E_CREATE);
        }
        SECURITY_ATTRIBUTES security = {sizeof security, descriptor.empty() ? nullptr : descriptor.data(), FALSE};
        const std::string base = target + "." + std::to_string(GetCurrentProcessId()) + "-";
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = base + std::to_string(attempt) + ".tmp";
            HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) {
                const DWORD err = GetLastError();
                if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
                return code_from_error(err, CONFIG_E_CREATE);
            }
            file->reset(new WinWritableFile(h));
            *temp_path = std::move(name);
            return CONFIG_OK;
        }
        return CONFIG_E_CREATE;
    }

    int32_t replace(const std::string& from, const std::string& to) override {
        const DWORD old_attrs = GetFileAttributesA(to.c_str());
        if (old_attrs != INVALID_FILE_ATTRIBUTES) {
            // What the replacement must keep of the file: its marking attributes and its ACL.
            const DWORD kept = old_attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
            if (kept != 0 && !SetFileAttributesA(from.c_str(), kept))
                return code_from_error(GetLastError(), CONFIG_E_REPLACE);
            if (!copy_dacl(to, from)) return code_from_error(GetLastError(), CONFIG_E_REPLACE);
        }
        // One rename that replaces the file, whether or not there is one: a crash leaves the old
        // file or the new one. (ReplaceFile is no single step: it moves the old file aside
        // first, and a crash right then leaves no file at all.)
        const bool moved = retrying(
            [&] { return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0; },
            is_busy_replacing, kReplaceAttempts);
        if (!moved) return code_from_error(GetLastError(), CONFIG_E_REPLACE);
        return CONFIG_OK;
    }

    // MoveFileEx writes through, and the file system journals its directories: nothing to do.
    int32_t sync_dir(const std::string&) override { return CONFIG_OK; }

    int32_t remove(const std::string& path) override {
        if (!retrying([&] { return DeleteFileA(path.c_str()) != 0; }, is_sharing_error))
            return code_from_error(GetLastError(), CONFIG_E_IO);
        return CONFIG_OK;
    }

    int32_t stamp(const std::string& path, FileStamp* stamp) override {
        *stamp = FileStamp();
        // No access asked: only the file's information is read, whoever holds it open.
        Handle h(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h.valid()) return code_from_error(GetLastError(), CONFIG_E_READ);
        if (GetFileType(h.get()) == FILE_TYPE_DISK) *stamp = stamp_of(h.get());
        return CONFIG_OK;
    }
};

}  // namespace

FileSystem& os_file_system() {
    static WinFileSystem fs;
    return fs;
}

bool os_random(void* out, size_t size) {
    return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

const char* native_line_ending() { return "\r\n"; }

}  // namespace cfg
