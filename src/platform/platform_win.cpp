#include "platform/platform.h"
#include "platform/trust_win.h"

#include <windows.h>

#include <climits>
#include <ctime>
#include <string>
#include <vector>


namespace tw::platform {

bool is_readable_string(const char* text) {
    return text != nullptr && !IsBadStringPtrA(text, UINT_PTR(-1));
}

bool is_readable(const void* block, size_t size) {
    if (size == 0) return true;
    return block != nullptr && !IsBadReadPtr(block, size);
}

// Whole seconds since the epoch, cut to 32 bits as the 32-bit run-time clock gives them.
uint32_t clock_seconds() { return static_cast<uint32_t>(std::time(nullptr)); }

bool last_error_is_insufficient_buffer() { return GetLastError() == ERROR_INSUFFICIENT_BUFFER; }

namespace {

bool is_well_known(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

// SYSTEM, the Administrators group, or the caller itself.
bool is_trusted(PSID sid, PSID caller) {
    return EqualSid(sid, caller) || is_well_known(sid, WinLocalSystemSid) || is_well_known(sid, WinBuiltinAdministratorsSid);
}

// A security descriptor of path holding what info names; empty when it cannot be read, with
// GetLastError() telling why.
std::vector<char> security_of(const std::string& path, SECURITY_INFORMATION info) {
    DWORD needed = 0;
    GetFileSecurityA(path.c_str(), info, nullptr, 0, &needed);
    if (needed == 0) return {};
    std::vector<char> descriptor(needed);
    if (!GetFileSecurityA(path.c_str(), info, descriptor.data(), needed, &needed)) return {};
    return descriptor;
}

// The user SID of this thread's token (its impersonation token, else the process's).
std::vector<char> caller_sid() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<char> user(needed);
    const bool got = needed != 0 && GetTokenInformation(token, TokenUser, user.data(), needed, &needed);
    CloseHandle(token);
    if (!got) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    std::vector<char> copy(GetLengthSid(sid));
    if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
    return copy;
}

std::string directory_of(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    // "C:\file": the root itself, with its separator.
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
    return path.substr(0, slash);
}

}  // namespace

bool planted_by_security(PSID owner, PSECURITY_DESCRIPTOR directory, PSID caller) {
    if (owner == nullptr || is_trusted(owner, caller)) return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(directory, &present, &dacl, &defaulted)) return true;
    if (!present || dacl == nullptr) return true;  // no access list: everyone may do anything
    constexpr DWORD kMayCreate = FILE_ADD_FILE | GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & kMayCreate) == 0) continue;
        const PSID sid = reinterpret_cast<PSID>(&allowed->SidStart);
        if (!is_trusted(sid, caller)) return true;
    }
    return false;
}

bool is_untrusted_file(const char* path) {
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return false;
    const std::vector<char> file = security_of(path, OWNER_SECURITY_INFORMATION);
    if (file.empty()) {
        // Gone meanwhile (another process replacing it): nothing planted is there.
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) return false;
    }
    std::vector<char> caller = caller_sid();
    // What cannot be judged is not trusted: a file is there, and its owner is unknown.
    if (file.empty() || caller.empty()) return true;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(const_cast<char*>(file.data()), &owner, &defaulted)) return true;
    if (owner == nullptr || is_trusted(owner, caller.data())) return false;
    std::vector<char> directory = security_of(directory_of(path), DACL_SECURITY_INFORMATION);
    if (directory.empty()) return true;
    return planted_by_security(owner, directory.data(), caller.data());
}

}  // namespace tw::platform

// Loading the library runs nothing but this: the library keeps no per-thread state.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(module);
    return TRUE;
}
