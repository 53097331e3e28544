// SPDX-License-Identifier: Apache-2.0
// What the Windows store trusts: directories judged from their descriptors, the access list a
// replacement gets, links followed or refused along a path (through the step seam, with steps
// of the test's own), and what the system's own step finds on this system.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

#include "config_win.h"
#include "files.h"
#include "store.h"
#include "tarnwick/config.h"
#include "trust_win.h"

namespace {

using cfg::win::Entry;
using cfg::win::Purpose;
using twtest::ScratchDir;
using twtest::write_file;

// A SID or a security descriptor from its string form, freed with the object.
class Sid {
public:
    explicit Sid(const std::string& text) { ConvertStringSidToSidA(text.c_str(), &sid_); }
    ~Sid() { LocalFree(sid_); }
    PSID get() const { return sid_; }

private:
    PSID sid_ = nullptr;
};

class Descriptor {
public:
    explicit Descriptor(const std::string& text) {
        ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &sd_, nullptr);
    }
    ~Descriptor() { LocalFree(sd_); }
    PSECURITY_DESCRIPTOR get() const { return sd_; }

private:
    PSECURITY_DESCRIPTOR sd_ = nullptr;
};

// The access list of a descriptor in string form ("" when there is none).
std::string dacl_text(PSECURITY_DESCRIPTOR sd) {
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                              nullptr))
        return "?";
    std::string out = text;
    LocalFree(text);
    return out;
}

const std::string kCaller = "S-1-5-21-1-2-3-1001";
const std::string kOther = "S-1-5-21-1-2-3-1002";

TEST(DirectoryIsShared, OwnerAndAccessListTable) {
    // FILE_ADD_FILE is 0x2, FILE_ADD_SUBDIRECTORY 0x4; 0x1 (list) lets nobody add anything.
    const std::string mine = "O:" + kCaller;
    const struct {
        const char* label;
        std::string directory;
        bool shared;
    } cases[] = {
        {"users may add files", mine + "D:(A;;0x2;;;BU)", true},
        {"users may add subdirectories", mine + "D:(A;;0x4;;;BU)", true},
        {"everyone may write", mine + "D:(A;;GW;;;WD)", true},
        {"another user may change the list", mine + "D:(A;;WD;;;" + kOther + ")", true},
        {"no access list", mine, true},
        {"only the caller and administrators add files",
         mine + "D:(A;;FA;;;" + kCaller + ")(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;WD)", false},
        {"users may only list", mine + "D:(A;;0x1;;;BU)", false},
        {"users' entry only for children", mine + "D:(A;OICIIO;0x2;;;BU)", false},
        {"a denying entry is not weighed", mine + "D:(D;;0x2;;;BU)(A;;0x2;;;BU)", true},
        {"owned by another user", "O:" + kOther + "D:(A;;FA;;;" + kCaller + ")", true},
        {"owned by SYSTEM", "O:SYD:(A;;FA;;;SY)(A;;FR;;;BU)", false},
        {"owned by the administrators", "O:BAD:(A;;FA;;;BA)", false},
        {"no owner", "D:(A;;FA;;;SY)", true},
    };
    const Sid caller(kCaller);
    ASSERT_NE(caller.get(), nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Descriptor directory(c.directory);
        ASSERT_NE(directory.get(), nullptr);
        EXPECT_EQ(cfg::win::directory_is_shared(directory.get(), caller.get()), c.shared);
    }
    // Nothing read, or a caller who cannot be told: not to be trusted.
    EXPECT_TRUE(cfg::win::directory_is_shared(nullptr, caller.get()));
    EXPECT_TRUE(cfg::win::directory_is_shared(Descriptor(mine + "D:(A;;FR;;;WD)").get(), nullptr));
}

TEST(ReplacementDescriptor, AnotherUsersFileGivesTheReplacementToTheCallerAlone) {
    const std::string kPrivate = "D:P(A;;FA;;;" + kCaller + ")(A;;FA;;;SY)(A;;FA;;;BA)";
    const struct {
        const char* label;
        std::string target;
        std::string expected;  // the replacement's list; "=" for the target's own
    } cases[] = {
        {"another's file open to all", "O:" + kOther + "D:(A;;FA;;;WD)", kPrivate},
        {"another's file open to the caller alone", "O:" + kOther + "D:P(A;;FA;;;" + kCaller + ")", kPrivate},
        {"the caller's file open to all", "O:" + kCaller + "D:(A;;FR;;;WD)(A;;FA;;;" + kCaller + ")", "="},
        {"SYSTEM's protected list", "O:SYD:P(A;;FR;;;BU)(A;;FA;;;SY)", "="},
        {"the administrators' inherited list", "O:BAD:AI(A;ID;FA;;;BA)", "="},
        {"another's file on a system without lists", "O:" + kOther, ""},
    };
    const Sid caller(kCaller);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Descriptor target(c.target);
        ASSERT_NE(target.get(), nullptr);
        std::vector<char> out;
        ASSERT_TRUE(cfg::win::replacement_descriptor(target.get(), caller.get(), &out));
        const std::string expected = c.expected == "=" ? dacl_text(target.get()) : c.expected;
        EXPECT_EQ(out.empty() ? "" : dacl_text(out.data()), expected);
    }
    // A new file: the directory's list where only the caller may add files, else the private one.
    std::vector<char> out;
    ASSERT_TRUE(cfg::win::new_file_descriptor(Descriptor("O:" + kCaller + "D:(A;;FA;;;" + kCaller + ")").get(),
                                              caller.get(), &out));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(cfg::win::new_file_descriptor(Descriptor("O:" + kCaller + "D:(A;;FA;;;WD)").get(), caller.get(), &out));
    EXPECT_EQ(out.empty() ? "" : dacl_text(out.data()), kPrivate);
}

// Steps of the test's own: each path holds the entry the table gives it, or a failure.
class TableEntries final : public cfg::win::Entries {
public:
    std::map<std::wstring, Entry> entries;
    std::map<std::wstring, int32_t> failures;
    int32_t look(const std::wstring& path, Entry* entry) override {
        const auto failure = failures.find(path);
        if (failure != failures.end()) return failure->second;
        const auto it = entries.find(path);
        if (it == entries.end()) return CONFIG_E_NOT_FOUND;
        *entry = it->second;
        return CONFIG_OK;
    }
};

// Directories: shared (S) or trusted (T); owners: the caller or an administrator (trusted), or another user.
constexpr bool S = true, T = false, kTrusted = true, kAnother = false;

Entry file(bool shared, bool trusted) { return Entry{Entry::kFile, shared, trusted, L""}; }
Entry link(bool shared, bool trusted, const wchar_t* target) { return Entry{Entry::kLink, shared, trusted, target}; }
Entry directory() { return Entry{Entry::kOther, T, kTrusted, L""}; }

TEST(FollowLinks, ReparsePointsAndLinksToNothingTable) {
    const wchar_t* a = L"C:\\d\\a.cfg";
    const wchar_t* b = L"C:\\e\\b.cfg";
    const wchar_t* c = L"C:\\f\\c.cfg";
    const struct {
        const char* label;
        Purpose purpose;
        std::map<std::wstring, Entry> entries;
        int32_t code;
        const wchar_t* final = nullptr;  // on success
    } cases[] = {
        // A load: the owner counts where others may add entries, at every hop.
        {"the caller's file in a shared directory", Purpose::kRead, {{a, file(S, kTrusted)}}, CONFIG_OK, a},
        {"another's file in a shared directory", Purpose::kRead, {{a, file(S, kAnother)}}, CONFIG_E_UNTRUSTED},
        {"another's file in a trusted directory", Purpose::kRead, {{a, file(T, kAnother)}}, CONFIG_OK, a},
        {"another's link in a shared directory", Purpose::kRead, {{a, link(S, kAnother, b)}, {b, file(T, kTrusted)}},
         CONFIG_E_UNTRUSTED},
        {"another's link in a trusted directory", Purpose::kRead, {{a, link(T, kAnother, b)}, {b, file(T, kTrusted)}},
         CONFIG_OK, b},
        {"a trusted link in a shared directory", Purpose::kRead, {{a, link(S, kTrusted, b)}, {b, file(T, kAnother)}},
         CONFIG_OK, b},
        {"a trusted link to another's file in a shared directory", Purpose::kRead,
         {{a, link(T, kTrusted, b)}, {b, link(T, kTrusted, c)}, {c, file(S, kAnother)}}, CONFIG_E_UNTRUSTED},
        {"a link to nothing", Purpose::kRead, {{a, link(T, kTrusted, b)}}, CONFIG_E_NOT_FOUND},
        {"nothing", Purpose::kRead, {}, CONFIG_E_NOT_FOUND},
        {"a loop", Purpose::kRead, {{a, link(T, kTrusted, b)}, {b, link(T, kTrusted, a)}}, CONFIG_E_NOT_FILE},
        {"a link to a directory", Purpose::kRead, {{a, link(T, kTrusted, b)}, {b, directory()}}, CONFIG_E_NOT_FILE},
        // A save: a link is followed only when trusted, wherever it lies; a link to nothing
        // is never replaced.
        {"a trusted link is written through", Purpose::kWrite, {{a, link(S, kTrusted, b)}, {b, file(T, kTrusted)}},
         CONFIG_OK, b},
        {"another's link in a trusted directory", Purpose::kWrite, {{a, link(T, kAnother, b)}, {b, file(T, kTrusted)}},
         CONFIG_E_ACCESS},
        {"another's link behind a trusted one", Purpose::kWrite,
         {{a, link(T, kTrusted, b)}, {b, link(T, kAnother, c)}, {c, file(T, kTrusted)}}, CONFIG_E_ACCESS},
        {"a trusted link to nothing", Purpose::kWrite, {{a, link(T, kTrusted, b)}}, CONFIG_E_NOT_FOUND},
        {"a chain that ends nowhere", Purpose::kWrite, {{a, link(T, kTrusted, b)}, {b, link(T, kTrusted, c)}},
         CONFIG_E_NOT_FOUND},
        {"nothing: a new file", Purpose::kWrite, {}, CONFIG_OK, a},
        {"a loop", Purpose::kWrite, {{a, link(T, kTrusted, b)}, {b, link(T, kTrusted, a)}}, CONFIG_E_NOT_FILE},
        {"a directory", Purpose::kWrite, {{a, directory()}}, CONFIG_E_NOT_FILE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.purpose == Purpose::kRead ? "load: " : "save: ") + c.label);
        TableEntries table;
        table.entries = c.entries;
        std::wstring final = L"(unset)";
        EXPECT_EQ(cfg::win::follow_links(table, a, c.purpose, &final), c.code);
        if (c.code == CONFIG_OK) {
            EXPECT_EQ(final, c.final);
        }
    }
    // A step's own failure ends the walk with its code, at any hop.
    TableEntries table;
    table.entries = {{a, link(T, kTrusted, b)}};
    table.failures = {{b, CONFIG_E_ACCESS}};
    std::wstring final;
    EXPECT_EQ(cfg::win::follow_links(table, a, Purpose::kRead, &final), CONFIG_E_ACCESS);
    EXPECT_EQ(cfg::win::follow_links(table, a, Purpose::kWrite, &final), CONFIG_E_ACCESS);
}

TEST(FollowLinks, PathsOfDirectoriesAndLinkTargets) {
    const struct {
        const wchar_t* path;
        const wchar_t* directory;
    } directories[] = {
        {L"a.cfg", L"."},          {L"C:a.cfg", L"C:"},
        {L"C:\\a.cfg", L"C:\\"},   {L"C:\\d\\e\\a.cfg", L"C:\\d\\e"},
        {L"\\a.cfg", L"\\"},       {L"\\\\?\\C:\\a.cfg", L"\\\\?\\C:\\"},
        {L"\\\\s\\sh\\a.cfg", L"\\\\s\\sh\\"}, {L"\\\\s\\sh\\d\\a.cfg", L"\\\\s\\sh\\d"},
    };
    for (const auto& d : directories) EXPECT_EQ(cfg::win::directory_of(d.path), d.directory) << d.path;
    const struct {
        const wchar_t* link;
        const wchar_t* stored;
        bool relative;
        const wchar_t* target;
    } targets[] = {
        {L"C:\\d\\a.cfg", L"\\??\\C:\\e\\b.cfg", false, L"C:\\e\\b.cfg"},
        {L"C:\\d\\a.cfg", L"\\??\\UNC\\s\\sh\\b.cfg", false, L"\\\\s\\sh\\b.cfg"},
        {L"C:\\d\\a.cfg", L"\\??\\Volume{1}\\b.cfg", false, L"\\\\?\\Volume{1}\\b.cfg"},
        {L"C:\\d\\a.cfg", L"\\Device\\HarddiskVolume2\\b.cfg", false,
         L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume2\\b.cfg"},
        {L"C:\\d\\a.cfg", L"b.cfg", true, L"C:\\d\\b.cfg"},
        {L"C:\\d\\a.cfg", L"..\\e\\b.cfg", true, L"C:\\d\\..\\e\\b.cfg"},
        {L"C:\\a.cfg", L"b.cfg", true, L"C:\\b.cfg"},
    };
    for (const auto& t : targets) EXPECT_EQ(cfg::win::link_target_path(t.link, t.stored, t.relative), t.target) << t.stored;
}

std::wstring wide(const std::string& path) { return std::wstring(path.begin(), path.end()); }

// Lets everyone do anything in path, as a shared directory does (Wine keeps this as mode 0777).
bool open_to_all(const std::string& path) {
    const Descriptor everyone("D:(A;OICI;FA;;;WD)");
    return SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, everyone.get()) != 0;
}

TEST(SystemEntries, WhatTheStepFindsHere) {
    ScratchDir dir("trust");
    write_file(dir.path("own.cfg"), "[A]\r\nk=1\r\n");
    ASSERT_TRUE(CreateDirectoryA(dir.path("folder").c_str(), nullptr));
    const std::string shared = dir.path("shared");
    ASSERT_TRUE(CreateDirectoryA(shared.c_str(), nullptr));
    ASSERT_TRUE(open_to_all(shared));
    write_file(shared + "\\own.cfg", "[A]\r\nk=2\r\n");
    const struct {
        std::string path;
        int32_t code;
        Entry::Kind kind = Entry::kOther;
        bool shared = false;
    } cases[] = {
        {dir.path("own.cfg"), CONFIG_OK, Entry::kFile, false},
        {shared + "\\own.cfg", CONFIG_OK, Entry::kFile, true},
        {dir.path("folder"), CONFIG_OK, Entry::kOther, false},
        {dir.path("missing.cfg"), CONFIG_E_NOT_FOUND},
        {dir.path("no_dir") + "\\a.cfg", CONFIG_E_NOT_FOUND},
    };
    const auto entries = cfg::win::os_entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Entry entry;
        ASSERT_EQ(entries->look(wide(c.path), &entry), c.code);
        if (c.code != CONFIG_OK) continue;
        EXPECT_EQ(entry.kind, c.kind);
        EXPECT_EQ(entry.shared_directory, c.shared);
        EXPECT_TRUE(entry.trusted_owner);  // all made by this process
    }
    // The caller's own file in a shared directory is read.
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_file_source(shared + "\\own.cfg"), CONFIG_OK);
    EXPECT_STREQ(store.get("k"), "2");
}

// Real symbolic links where this system makes them. Wine 8 does not: its CreateSymbolicLink
// reports success and makes nothing, and it keeps no reparse points at all; Windows makes
// them for an administrator or in developer mode.
TEST(SystemEntries, SymbolicLinksOfTheCaller) {
    ScratchDir dir("links");
    const std::string target = dir.path("own.cfg"), link = dir.path("link.cfg"), dangling = dir.path("dangling.cfg");
    write_file(target, "[A]\r\nk=1\r\n");
    const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    CreateSymbolicLinkA(link.c_str(), "own.cfg", flags);
    CreateSymbolicLinkA(dangling.c_str(), "nothing.cfg", flags);
    const DWORD attrs = GetFileAttributesA(link.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system makes no symbolic links (CreateSymbolicLink left no reparse point)";

    Entry entry;
    ASSERT_EQ(cfg::win::os_entries()->look(wide(link), &entry), CONFIG_OK);
    EXPECT_EQ(entry.kind, Entry::kLink);
    EXPECT_TRUE(entry.trusted_owner);
    EXPECT_EQ(entry.target, wide(target));

    // Read and written through; the link stays a link.
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_file_source(link), CONFIG_OK);
    ASSERT_EQ(store.set(link, "A", "k", "2"), CONFIG_OK);
    EXPECT_EQ(store.save(link, 0), CONFIG_OK);
    EXPECT_EQ(twtest::read_file(target), "[A]\r\nk=2\r\n");
    EXPECT_TRUE(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

    // A link to nothing is neither replaced nor written through.
    std::string resolved;
    EXPECT_EQ(cfg::os_file_system().resolve_links(dangling, &resolved), CONFIG_E_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(dir.path("nothing.cfg").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(GetFileAttributesA(dangling.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
}


// Wine follows its host's symbolic links without showing them as reparse points; the step
// finds them by where the file it opened lies. A host link is made by the host's own ln, which
// Wine starts like any program.
bool under_wine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// Makes link a host link to stored (relative to the link's directory), which must exist.
bool host_link(const std::string& stored, const std::string& link) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unix_name = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unix_name == nullptr) return false;
    char* where = unix_name(wide(link).c_str());
    if (where == nullptr) return false;
    std::string command = "Z:\\bin\\ln -s \"" + stored + "\" \"" + where + "\"";
    HeapFree(GetProcessHeap(), 0, where);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    // Wine neither waits for a host program nor learns its status: wait for the link to lead
    // to its target, which exists (a test that needs a link to nothing removes it afterwards).
    for (int wait = 0; wait < 1000; ++wait) {
        if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(10);
    }
    return false;
}

TEST(SystemEntries, HostLinksUnderWine) {
    if (!under_wine()) GTEST_SKIP() << "Wine only: Windows shows its links as reparse points";
    ScratchDir dir("hostlinks");
    const std::string shared = dir.path("shared"), target = dir.path("sub") + "\\own.cfg";
    ASSERT_TRUE(CreateDirectoryA(dir.path("sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(shared.c_str(), nullptr));
    ASSERT_TRUE(open_to_all(shared));
    write_file(target, "[A]\r\nk=1\r\n");
    const std::string trusted_link = dir.path("link.cfg"), shared_link = shared + "\\link.cfg";
    ASSERT_TRUE(host_link("sub/own.cfg", trusted_link));
    ASSERT_TRUE(host_link("../sub/own.cfg", shared_link));
    ASSERT_EQ(twtest::read_file(trusted_link), "[A]\r\nk=1\r\n");
    ASSERT_EQ(twtest::read_file(shared_link), "[A]\r\nk=1\r\n");

    // In a trusted directory only the caller could have made it: read and written through.
    cfg::Store store(cfg::os_file_system());
    ASSERT_EQ(store.add_file_source(trusted_link), CONFIG_OK);
    ASSERT_EQ(store.set(trusted_link, "A", "k", "2"), CONFIG_OK);
    EXPECT_EQ(store.save(trusted_link, 0), CONFIG_OK);
    EXPECT_EQ(twtest::read_file(target), "[A]\r\nk=2\r\n");
    EXPECT_EQ(twtest::read_file(trusted_link), "[A]\r\nk=2\r\n");  // still a link

    // In a shared directory its owner cannot be told: neither read nor written through.
    cfg::Store refused(cfg::os_file_system());
    EXPECT_EQ(refused.add_file_source(shared_link), CONFIG_E_UNTRUSTED);
    std::string resolved;
    EXPECT_EQ(cfg::os_file_system().resolve_links(shared_link, &resolved), CONFIG_E_ACCESS);

    // Wine hides a host link to nothing: the save takes it for nothing and puts its file in
    // the link's place, and never writes where the link points.
    const std::string dangling = dir.path("dangling.cfg"), gone = dir.path("sub") + "\\gone.cfg";
    write_file(gone, "x");
    ASSERT_TRUE(host_link("sub/gone.cfg", dangling));
    ASSERT_EQ(twtest::read_file(dangling), "x");
    ASSERT_TRUE(DeleteFileA(gone.c_str()));
    cfg::Store fresh(cfg::os_file_system());
    ASSERT_EQ(fresh.add_new_file_source(dangling), CONFIG_OK);
    ASSERT_EQ(fresh.set(dangling, "A", "k", "v"), CONFIG_OK);
    EXPECT_EQ(fresh.save(dangling, 0), CONFIG_OK);
    EXPECT_EQ(GetFileAttributesA(gone.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(twtest::read_file(dangling), "[A]\r\nk=v\r\n");
}

}  // namespace
