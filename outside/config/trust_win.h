/* SPDX-License-Identifier: Apache-2.0 */
// What the Windows store trusts: who counts as the caller or an administrator, which
// directories are shared, which access list a replacement gets, and how a path's reparse
// points (symbolic links, junctions) are followed. The judgements work on security descriptors
// and on facts already gathered, so that tests can give them their own; config_win.cpp
// gathers the facts from the handles it holds.
#ifndef CONFIG_TRUST_WIN_H
#define CONFIG_TRUST_WIN_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cfg::win {

// The user SID of this thread's token (its impersonation token, else the process's); empty
// when it cannot be read.
std::vector<char> caller_sid();

// True for the caller (may be null: nobody), SYSTEM and the Administrators group.
bool is_trusted_sid(PSID sid, PSID caller);

// True when the directory (a security descriptor holding its owner and access list) lets
// someone other than the caller, SYSTEM and Administrators add entries: an owner other than
// those three (an owner may always rewrite the list), no access list at all, or an allowing
// entry for another SID with a right to add files or subdirectories, to write, or to change
// the list or the owner. Entries meant only for children are not weighed, nor are denying
// ones: a directory is judged by what it grants. A descriptor that cannot be read is shared.
bool directory_is_shared(PSECURITY_DESCRIPTOR directory, PSID caller);

// The security descriptor (self-relative, access list only) that a replacement of a file
// whose descriptor (owner and access list) is target gets as it is created. The target's own
// list when its owner is the caller or an administrator; else a protected list for the
// caller, SYSTEM and Administrators alone: another user who owns the old file may have opened
// it to all in order to read what the caller writes. Empty when target has no access list
// (the file system keeps none). False when it cannot be built.
bool replacement_descriptor(PSECURITY_DESCRIPTOR target, PSID caller, std::vector<char>* out);

// The same for a new file in a directory whose descriptor is directory: empty (the list the
// directory hands down) in a trusted directory, the private list in a shared one, where
// someone else may have chosen what is handed down.
bool new_file_descriptor(PSECURITY_DESCRIPTOR directory, PSID caller, std::vector<char>* out);

// One entry of a path, as one step of a walk along it finds it. The step holds the entry's
// directory while it opens the entry itself (without following a reparse point there) and
// judges both on their handles.
struct Entry {
    enum Kind { kFile, kLink, kOther };
    Kind kind = kOther;            // kOther: a directory, device or pipe
    bool shared_directory = true;  // see directory_is_shared; true when it could not be judged
    bool trusted_owner = false;    // the caller's, SYSTEM's or Administrators'
    std::wstring target;           // kLink: the path the link leads to, whole
};

class Entries {
public:
    virtual ~Entries() = default;
    // Finds the entry at path: CONFIG_OK with *entry filled, CONFIG_E_NOT_FOUND when nothing
    // is there (nor a directory to hold it), or another CONFIG_E_* code.
    virtual int32_t look(const std::wstring& path, Entry* entry) = 0;
};

enum class Purpose {
    kRead,   // a load: a file or a link in a shared directory that is not trusted is refused
             // (CONFIG_E_UNTRUSTED); elsewhere any link is followed, like the system would
    kWrite,  // a save: a link is followed only when trusted (else CONFIG_E_ACCESS, wherever it
             // lies); a link to nothing is CONFIG_E_NOT_FOUND; nothing at path is a new file
};

// Walks from path through its links, one hop at a time, each judged by its own step, to the
// entry that is read or replaced, and names it in *final. A directory, device or pipe at the
// end, or more links than the system follows, is CONFIG_E_NOT_FILE.
int32_t follow_links(Entries& entries, const std::wstring& path, Purpose purpose, std::wstring* final);

// The directory that holds path's last entry, as a path that opens it: "C:\" for "C:\x",
// "." for "x".
std::wstring directory_of(const std::wstring& path);

// A link's stored target made a path: "\??\C:\x" is "C:\x", "\??\UNC\s\x" is "\\s\x", other
// "\??\" names are "\\?\" names, and a relative target is taken from the link's directory.
std::wstring link_target_path(const std::wstring& link, const std::wstring& stored, bool relative);

}  // namespace cfg::win

#endif
