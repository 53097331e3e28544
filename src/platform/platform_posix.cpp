#include "platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <string>
#include <vector>

namespace tw::platform {
namespace {

std::string directory_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// An entry owned by another user in a directory where everyone may create entries and only
// their owners remove them: the other user may have put it there.
bool planted_entry(const char* path, const struct stat& entry) {
    if (entry.st_uid == ::geteuid() || entry.st_uid == 0) return false;
    struct stat dir;
    if (::stat(directory_of(path).c_str(), &dir) != 0) return false;
    return (dir.st_mode & S_IWOTH) != 0 && (dir.st_mode & S_ISVTX) != 0;
}

}  // namespace

bool is_readable_string(const char* text) { return text != nullptr; }

bool is_readable(const void* block, size_t size) { return block != nullptr || size == 0; }

uint32_t clock_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

bool last_error_is_insufficient_buffer() { return errno == ERANGE; }

bool is_untrusted_file(const char* path) {
    // The path as given is judged first, without a copy: it is rarely a link.
    struct stat st;
    if (::lstat(path, &st) != 0) return false;
    if (planted_entry(path, st)) return true;
    if (!S_ISLNK(st.st_mode)) return false;
    std::string current = path;
    // As many links as the system itself follows; a longer chain fails to open anyway.
    for (int hops = 0; hops < 40; ++hops) {
        std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return false;
        const std::string link(buffer.data(), static_cast<size_t>(n));
        current = link.front() == '/' ? link : directory_of(current) + "/" + link;
        if (::lstat(current.c_str(), &st) != 0) return false;
        if (planted_entry(current.c_str(), st)) return true;
        if (!S_ISLNK(st.st_mode)) return false;
    }
    return false;
}

}  // namespace tw::platform
