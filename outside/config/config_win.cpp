// SPDX-License-Identifier: Apache-2.0
// Windows file operations of the store (narrow "A" functions: paths are the caller's bytes in
// the system's code page; the walk along a path's links converts them as those functions do).
#include <windows.h>
#include <bcrypt.h>
#include <winioctl.h>


#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "config_win.h"
#include "file_system.h"
#include "tarnwick/config.h"
#include "trust_win.h"

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
    void reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (valid()) CloseHandle(h_);
        h_ = h;
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

// The code page the narrow file functions use.
UINT file_code_page() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

// The path as the narrow file functions would pass it on.
bool to_wide(const std::string& text, std::wstring* out) {
    out->clear();
    if (text.empty()) return true;
    const UINT cp = file_code_page();
    const int n = MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return false;
    out->resize(static_cast<size_t>(n));
    return MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), &(*out)[0], n) == n;
}

// False when text holds a character the code page lacks: the narrow path would name another file.
bool to_narrow(const std::wstring& text, std::string* out) {
    out->clear();
    if (text.empty()) return true;
    const UINT cp = file_code_page();
    // UTF-8 takes neither the flag nor the default-character test, and loses nothing.
    const bool utf8 = (cp == CP_ACP ? GetACP() : GetOEMCP()) == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(cp, flags, text.data(), size, nullptr, 0, nullptr, utf8 ? nullptr : &lossy);
    if (n <= 0 || lossy) return false;
    out->resize(static_cast<size_t>(n));
    return WideCharToMultiByte(cp, flags, text.data(), size, &(*out)[0], n, nullptr, utf8 ? nullptr : &lossy) == n &&
           !lossy;
}

// The security descriptor of an open object holding what info names; empty when it cannot be
// read, with GetLastError() telling why.
std::vector<char> security_of(HANDLE h, SECURITY_INFORMATION info) {
    // Most descriptors fit the first buffer; one may grow between two calls.
    std::vector<char> descriptor(512);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0;
        if (GetKernelObjectSecurity(h, info, descriptor.data(), static_cast<DWORD>(descriptor.size()), &needed)) {
            return descriptor;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= descriptor.size()) return {};
        descriptor.resize(needed);
    }
    return {};
}

// Reads the owner and access list of the entry at path itself (a link is not followed: its
// own owner counts) into *descriptor. A file system that keeps none, or an entry gone
// meanwhile, leaves it empty, which is no failure; any other failure is, with GetLastError()
// telling why.
bool read_entry_security(const std::string& path, std::vector<char>* descriptor) {
    descriptor->clear();
    HANDLE raw = INVALID_HANDLE_VALUE;
    // While another process replaces the file, the old one may refuse to be opened for a moment.
    const bool opened = retrying(
        [&] {
            raw = CreateFileA(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            return raw != INVALID_HANDLE_VALUE;
        },
        is_busy_replacing);
    DWORD err = GetLastError();
    if (opened) {
        Handle h(raw);
        *descriptor = security_of(h.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
        if (!descriptor->empty()) return true;
        err = GetLastError();
    }
    // Gone (another process replaced it, and the system did so in two steps): nothing to carry
    // over, like a missing file; so for a file system without access lists.
    SetLastError(err);
    return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND || err == ERROR_NOT_SUPPORTED ||
           err == ERROR_INVALID_FUNCTION;
}

PSID sid_of(const std::vector<char>& sid) { return sid.empty() ? nullptr : const_cast<char*>(sid.data()); }

// The path GetFinalPathNameByHandle gives for an open file: "\\?\C:\dir\file" (DOS volume
// names), or "\Device\HarddiskVolume1\dir\file" (the system's own, which takes one question
// less to tell).
bool final_path(HANDLE h, DWORD volume_names, std::wstring* out) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                  FILE_NAME_NORMALIZED | volume_names);
        if (n == 0) return false;
        if (n < buffer.size()) {
            out->assign(buffer.data(), n);
            return true;
        }
        buffer.resize(n + 1);
    }
    return false;
}

bool same_path(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring without_final_separator(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// A final path as an ordinary one: "\\?\C:\x" is "C:\x", "\\?\UNC\s\x" is "\\s\x".
std::wstring ordinary_path(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() >= 6 && path[5] == L':') return path.substr(4);
    return path;
}

uint16_t u16_at(const std::vector<char>& data, size_t at) {
    uint16_t v;
    std::memcpy(&v, data.data() + at, sizeof v);
    return v;
}

uint32_t u32_at(const std::vector<char>& data, size_t at) {
    uint32_t v;
    std::memcpy(&v, data.data() + at, sizeof v);
    return v;
}

// The target a symbolic link or a junction stores, from its reparse data (got bytes): tag,
// then the length of what follows and a reserved word; then the offset and length of the name
// the system follows and of the name it shows; a symbolic link adds its flags; then the names.
bool stored_target(const std::vector<char>& data, DWORD got, std::wstring* target, bool* relative) {
    if (got < 16) return false;
    const uint32_t tag = u32_at(data, 0);
    size_t names = 16;
    *relative = false;
    if (tag == IO_REPARSE_TAG_SYMLINK) {
        if (got < 20) return false;
        constexpr uint32_t kRelative = 1;  // SYMLINK_FLAG_RELATIVE
        *relative = (u32_at(data, 16) & kRelative) != 0;
        names = 20;
    } else if (tag != IO_REPARSE_TAG_MOUNT_POINT) {
        return false;
    }
    const size_t offset = u16_at(data, 8), length = u16_at(data, 10);
    if (length == 0 || length % 2 != 0 || names + offset + length > got) return false;
    target->resize(length / 2);
    std::memcpy(&(*target)[0], data.data() + names + offset, length);
    return true;
}

bool same_file(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The system's step along a path (see os_entries in config_win.h). A step for reading keeps
// the file it found open for reading; a step for a save holds the entry only while it looks:
// any handle on a file stops others from replacing it.
class SystemEntries final : public win::Entries {
public:
    explicit SystemEntries(bool for_reading) : for_reading_(for_reading), caller_(win::caller_sid()) {}

    int32_t look(const std::wstring& path, win::Entry* entry) override {
        *entry = win::Entry();
        file_.reset();
        HANDLE raw = INVALID_HANDLE_VALUE;
        // Held without FILE_SHARE_DELETE: nobody renames or replaces the directory meanwhile.
        retrying(
            [&] {
                raw = CreateFileW(win::directory_of(path).c_str(), READ_CONTROL | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
                return raw != INVALID_HANDLE_VALUE;
            },
            is_sharing_error);
        Handle dir(raw);
        std::wstring dir_final;
        if (!dir.valid()) {
            if (code_from_error(GetLastError(), CONFIG_E_READ) == CONFIG_E_NOT_FOUND) return CONFIG_E_NOT_FOUND;
            // Not to be held (another process holds it open for deletion, say): shared.
        } else {
            std::vector<char> sd = security_of(dir.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
            entry->shared_directory = sd.empty() || win::directory_is_shared(sd.data(), sid_of(caller_));
            // Where the entry lies cannot be told without it: shared.
            if (!final_path(dir.get(), VOLUME_NAME_NT, &dir_final)) entry->shared_directory = true;
        }

        raw = INVALID_HANDLE_VALUE;
        const DWORD access = for_reading_ ? GENERIC_READ : READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
        const bool opened = retrying(
            [&] {
                raw = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                                  nullptr);
                return raw != INVALID_HANDLE_VALUE;
            },
            is_sharing_error);
        if (!opened) return code_from_error(GetLastError(), CONFIG_E_READ);
        Handle file(raw);
        if (GetFileType(file.get()) != FILE_TYPE_DISK) return CONFIG_OK;  // a device or pipe
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(file.get(), &info)) return code_from_error(GetLastError(), CONFIG_E_READ);
        entry->trusted_owner = owner_is_trusted(file.get());

        std::wstring file_final;
        if (!dir_final.empty() && final_path(file.get(), VOLUME_NAME_NT, &file_final)) {
            const size_t slash = file_final.find_last_of(L'\\');
            const std::wstring parent = slash == std::wstring::npos ? std::wstring() : file_final.substr(0, slash);
            if (!same_path(parent, without_final_separator(dir_final))) {
                // Reached elsewhere: a link the system followed without showing it.
                std::wstring target;
                if (!final_path(file.get(), VOLUME_NAME_DOS, &target)) return code_from_error(GetLastError(), CONFIG_E_READ);
                entry->kind = win::Entry::kLink;
                entry->trusted_owner = !entry->shared_directory;
                entry->target = ordinary_path(target);
                return CONFIG_OK;
            }
        } else if (!dir_final.empty()) {
            entry->shared_directory = true;
        }

        if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            std::vector<char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
            DWORD got = 0;
            if (DeviceIoControl(file.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                static_cast<DWORD>(data.size()), &got, nullptr)) {
                std::wstring stored;
                bool relative = false;
                if (stored_target(data, got, &stored, &relative)) {
                    entry->kind = win::Entry::kLink;
                    entry->target = win::link_target_path(path, stored, relative);
                    return CONFIG_OK;
                }
                // A link of another kind is not followed here.
                if (got < 4 || IsReparseTagNameSurrogate(u32_at(data, 0))) return CONFIG_OK;
                // Else the file itself, whose content a file-system filter serves: opened
                // again through the filter, and still the same file.
                const HANDLE through =
                    CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
                if (through == INVALID_HANDLE_VALUE) return code_from_error(GetLastError(), CONFIG_E_READ);
                file.reset(through);
                BY_HANDLE_FILE_INFORMATION again;
                if (!GetFileInformationByHandle(file.get(), &again)) return code_from_error(GetLastError(), CONFIG_E_READ);
                if (!same_file(info, again)) return CONFIG_E_READ;
                info = again;
            } else if (GetLastError() != ERROR_NOT_A_REPARSE_POINT) {
                return code_from_error(GetLastError(), CONFIG_E_READ);
            }
        }
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return CONFIG_OK;
        entry->kind = win::Entry::kFile;
        if (for_reading_) {
            LARGE_INTEGER size;
            if (!GetFileSizeEx(file.get(), &size)) return code_from_error(GetLastError(), CONFIG_E_READ);
            size_ = static_cast<uint64_t>(size.QuadPart);
            file_.reset(file.release());
        }
        return CONFIG_OK;
    }

    // The file the last step found, open for reading; the caller closes it.
    HANDLE take_file() { return file_.release(); }
    uint64_t file_size() const { return size_; }

private:
    bool owner_is_trusted(HANDLE h) const {
        const std::vector<char> sd = security_of(h, OWNER_SECURITY_INFORMATION);
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        return !sd.empty() && GetSecurityDescriptorOwner(const_cast<char*>(sd.data()), &owner, &defaulted) &&
               win::is_trusted_sid(owner, sid_of(caller_));
    }

    bool for_reading_;
    std::vector<char> caller_;  // empty when unknown: only SYSTEM and Administrators are trusted
    Handle file_;
    uint64_t size_ = 0;
};

// The random part of a temporary name, from the system's generator.
bool system_random(uint64_t* value) { return os_random(value, sizeof *value); }

// Names a save tries before it gives up: only names planted to be met make it try a second.
constexpr int kTempAttempts = 100;

class WinFileSystem final : public FileSystem {
public:
    explicit WinFileSystem(std::function<uint64_t()> names = nullptr) : names_(std::move(names)) {}

    int32_t open_for_read(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
        std::wstring wide, final;
        if (!to_wide(path, &wide)) return CONFIG_E_NOT_FOUND;
        SystemEntries entries(true);
        const int32_t rc = win::follow_links(entries, wide, win::Purpose::kRead, &final);
        if (rc != CONFIG_OK) return rc;
        const uint64_t size = entries.file_size();
        file->reset(new WinReadableFile(entries.take_file(), size));
        return CONFIG_OK;
    }

    int32_t probe(const std::string& path) override {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return CONFIG_OK;
        return code_from_error(GetLastError(), CONFIG_E_READ);
    }

    int32_t resolve_links(const std::string& path, std::string* target) override {
        std::wstring wide, final;
        if (!to_wide(path, &wide)) return CONFIG_E_NOT_FOUND;
        SystemEntries entries(false);
        const int32_t rc = win::follow_links(entries, wide, win::Purpose::kWrite, &final);
        if (rc != CONFIG_OK) return rc;
        if (final == wide) {
            *target = path;  // the caller's bytes, as they came
            return CONFIG_OK;
        }
        // A target the narrow functions cannot name is not written through.
        return to_narrow(final, target) ? CONFIG_OK : CONFIG_E_NOT_FILE;
    }

    int32_t create_temp(const std::string& target, std::string* temp_path,
                        std::unique_ptr<WritableFile>* file) override {
        const std::vector<char> caller = win::caller_sid();
        const DWORD attrs = GetFileAttributesA(target.c_str());
        // The access list given to the temporary file as it is created (see
        // replacement_descriptor): the file holds the target's secrets from its first byte.
        std::vector<char> descriptor, current;
        if (attrs == INVALID_FILE_ATTRIBUTES) {
            const DWORD err = GetLastError();
            if (err != ERROR_FILE_NOT_FOUND) return code_from_error(err, CONFIG_E_CREATE);
        } else {
            if (attrs & FILE_ATTRIBUTE_DIRECTORY) return CONFIG_E_NOT_FILE;
            if (attrs & FILE_ATTRIBUTE_READONLY) return CONFIG_E_ACCESS;
            if (!read_entry_security(target, &current)) return code_from_error(GetLastError(), CONFIG_E_CREATE);
            if (!current.empty() && !win::replacement_descriptor(current.data(), sid_of(caller), &descriptor))
                return CONFIG_E_CREATE;
        }
        // A new file (or one gone meanwhile): its directory, held while the file is created in
        // it, decides.
        Handle dir;
        if (current.empty()) {
            std::wstring wide;
            if (!to_wide(target, &wide)) return CONFIG_E_CREATE;
            dir.reset(CreateFileW(win::directory_of(wide).c_str(), READ_CONTROL | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            const std::vector<char> sd =
                dir.valid() ? security_of(dir.get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)
                            : std::vector<char>();
            if (!win::new_file_descriptor(sd.empty() ? nullptr : const_cast<char*>(sd.data()), sid_of(caller),
                                          &descriptor))
                return CONFIG_E_CREATE;
        }
        SECURITY_ATTRIBUTES security = {sizeof security, descriptor.empty() ? nullptr : descriptor.data(), FALSE};
        for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
            uint64_t random = 0;
            if (names_)
                random = names_();
            else if (!system_random(&random))
                return CONFIG_E_CREATE;
            std::string name = win::temp_name(target, random);
            HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) {
                const DWORD err = GetLastError();
                // Taken, by a file, a link or a directory (which may answer "access denied").
                if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
                if (err == ERROR_ACCESS_DENIED && GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
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
            // Read again: the file may have been replaced since the temporary file was made.
            std::vector<char> current, descriptor;
            if (!read_entry_security(to, &current)) return code_from_error(GetLastError(), CONFIG_E_REPLACE);
            if (!current.empty()) {
                if (!win::replacement_descriptor(current.data(), sid_of(win::caller_sid()), &descriptor))
                    return CONFIG_E_REPLACE;
                if (!descriptor.empty() &&
                    !SetFileSecurityA(from.c_str(), DACL_SECURITY_INFORMATION, descriptor.data()))
                    return code_from_error(GetLastError(), CONFIG_E_REPLACE);
            }
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

private:
    std::function<uint64_t()> names_;  // null: the system's generator
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

namespace win {

std::unique_ptr<Entries> os_entries() { return std::make_unique<SystemEntries>(true); }

std::string temp_name(const std::string& target, uint64_t random) {
    char part[17];
    std::snprintf(part, sizeof part, "%016llx", static_cast<unsigned long long>(random));
    return target + "." + part + ".tmp";
}

std::unique_ptr<FileSystem> os_file_system_with_names(std::function<uint64_t()> next) {
    return std::make_unique<WinFileSystem>(std::move(next));
}

}  // namespace win

const char* native_line_ending() { return "\r\n"; }

}  // namespace cfg
