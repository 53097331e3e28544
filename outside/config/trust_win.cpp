// SPDX-License-Identifier: Apache-2.0
#include "trust_win.h"

#include "tarnwick/config.h"

namespace cfg::win {
namespace {

bool is_well_known(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

// Rights on a directory that let their holder put an entry there, or give themselves that right.
constexpr DWORD kMayAdd =
    FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;

// A self-relative copy of an absolute descriptor.
bool self_relative(SECURITY_DESCRIPTOR* absolute, std::vector<char>* out) {
    DWORD size = 0;
    MakeSelfRelativeSD(absolute, nullptr, &size);
    if (size == 0) return false;
    out->resize(size);
    if (MakeSelfRelativeSD(absolute, out->data(), &size)) return true;
    out->clear();
    return false;
}

// A protected list for the caller, SYSTEM and Administrators alone: nothing is inherited from
// the directory, whose list someone else may have set.
bool private_descriptor(PSID caller, std::vector<char>* out) {
    if (caller == nullptr || !IsValidSid(caller)) return false;
    BYTE system[SECURITY_MAX_SID_SIZE], admins[SECURITY_MAX_SID_SIZE];
    DWORD system_size = sizeof system, admins_size = sizeof admins;
    if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &system_size) ||
        !CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &admins_size))
        return false;
    const PSID sids[] = {caller, system, admins};
    DWORD acl_size = sizeof(ACL);
    for (PSID sid : sids) acl_size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
    std::vector<char> acl_bytes(acl_size);
    auto* acl = reinterpret_cast<PACL>(acl_bytes.data());
    if (!InitializeAcl(acl, acl_size, ACL_REVISION)) return false;
    for (PSID sid : sids)
        if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) return false;
    SECURITY_DESCRIPTOR sd;
    return InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED) && self_relative(&sd, out);
}

bool has_drive_prefix(const std::wstring& path) {
    return path.size() >= 2 && path[1] == L':' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

bool starts_with(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

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

bool is_trusted_sid(PSID sid, PSID caller) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    return (caller != nullptr && EqualSid(sid, caller)) || is_well_known(sid, WinLocalSystemSid) ||
           is_well_known(sid, WinBuiltinAdministratorsSid);
}

bool directory_is_shared(PSECURITY_DESCRIPTOR directory, PSID caller) {
    if (directory == nullptr || !IsValidSecurityDescriptor(directory)) return true;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(directory, &owner, &defaulted) || !is_trusted_sid(owner, caller)) return true;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(directory, &present, &dacl, &defaulted)) return true;
    if (!present || dacl == nullptr) return true;  // no access list: everyone may do anything
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        switch (header->AceType) {
            case ACCESS_ALLOWED_ACE_TYPE:
            case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {  // the same layout; a condition may hold
                auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
                if ((allowed->Mask & kMayAdd) != 0 && !is_trusted_sid(reinterpret_cast<PSID>(&allowed->SidStart), caller))
                    return true;
                break;
            }
            case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
            case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
                // Not met on files; whoever it names, it is not weighed as harmless.
                if ((static_cast<ACCESS_ALLOWED_OBJECT_ACE*>(ace)->Mask & kMayAdd) != 0) return true;
                break;
            default:
                break;
        }
    }
    return false;
}

bool replacement_descriptor(PSECURITY_DESCRIPTOR target, PSID caller, std::vector<char>* out) {
    out->clear();
    if (target == nullptr || !IsValidSecurityDescriptor(target)) return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(target, &present, &dacl, &defaulted)) return false;
    if (!present) return true;
    PSID owner = nullptr;
    if (!GetSecurityDescriptorOwner(target, &owner, &defaulted)) return false;
    if (!is_trusted_sid(owner, caller)) return private_descriptor(caller, out);
    // The target's list as it is, with its protection from inheritance.
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(target, &control, &revision)) return false;
    const SECURITY_DESCRIPTOR_CONTROL kept = control & (SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED);
    SECURITY_DESCRIPTOR sd;
    return InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&sd, TRUE, dacl, FALSE) &&
           SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED, kept) &&
           self_relative(&sd, out);
}

bool new_file_descriptor(PSECURITY_DESCRIPTOR directory, PSID caller, std::vector<char>* out) {
    out->clear();
    if (!directory_is_shared(directory, caller)) return true;
    return private_descriptor(caller, out);
}

int32_t follow_links(Entries& entries, const std::wstring& path, Purpose purpose, std::wstring* final) {
    // The system itself follows at most this many reparse points in one path.
    constexpr int kMaxLinks = 63;
    std::wstring current = path;
    for (int hops = 0;; ++hops) {
        Entry entry;
        const int32_t rc = entries.look(current, &entry);
        if (rc == CONFIG_E_NOT_FOUND) {
            // Nothing at the path itself is a new file for a save. Nothing where a link leads
            // stays nothing: a save would create a file wherever the link's maker aimed it.
            if (purpose == Purpose::kWrite && hops == 0) {
                *final = current;
                return CONFIG_OK;
            }
            return CONFIG_E_NOT_FOUND;
        }
        if (rc != CONFIG_OK) return rc;
        if (entry.kind == Entry::kOther) return CONFIG_E_NOT_FILE;
        if (purpose == Purpose::kRead && entry.shared_directory && !entry.trusted_owner) return CONFIG_E_UNTRUSTED;
        if (entry.kind == Entry::kFile) {
            *final = current;
            return CONFIG_OK;
        }
        // A link another user may have placed could aim the write at any file of the caller's.
        if (purpose == Purpose::kWrite && !entry.trusted_owner) return CONFIG_E_ACCESS;
        if (hops == kMaxLinks) return CONFIG_E_NOT_FILE;
        current = entry.target;
    }
}

std::wstring directory_of(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return has_drive_prefix(path) ? path.substr(0, 2) : L".";
    std::wstring dir = path.substr(0, slash);
    // A root keeps its separator: "\", "C:\", "\\?\C:\".
    if (dir.empty() || dir.back() == L':') return path.substr(0, slash + 1);
    // A share's root too: "\\server\share\".
    if (starts_with(dir, L"\\\\") && !starts_with(dir, L"\\\\?\\") && !starts_with(dir, L"\\\\.\\") &&
        dir.find_first_of(L"\\/", 2) != std::wstring::npos &&
        dir.find_first_of(L"\\/", dir.find_first_of(L"\\/", 2) + 1) == std::wstring::npos)
        return path.substr(0, slash + 1);
    return dir;
}

std::wstring link_target_path(const std::wstring& link, const std::wstring& stored, bool relative) {
    if (relative) {
        const std::wstring dir = directory_of(link);
        const bool separated = !dir.empty() && (dir.back() == L'\\' || dir.back() == L'/');
        return separated ? dir + stored : dir + L"\\" + stored;
    }
    if (starts_with(stored, L"\\??\\UNC\\")) return L"\\\\" + stored.substr(8);
    if (starts_with(stored, L"\\??\\")) {
        const std::wstring rest = stored.substr(4);
        return has_drive_prefix(rest) ? rest : L"\\\\?\\" + rest;
    }
    // A name in the system's own namespace ("\Device\...").
    if (starts_with(stored, L"\\") && !starts_with(stored, L"\\\\")) return L"\\\\?\\GLOBALROOT" + stored;
    return stored;
}

}  // namespace cfg::win
