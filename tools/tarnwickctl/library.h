/* SPDX-License-Identifier: Apache-2.0 */
// What tarnwickctl's commands share: the library's handle, a file as the store reads it,
// scrambled entries in clear (through the scramble codec, never through the handle), and
// scratch files.
#ifndef TARNWICKCTL_LIBRARY_H
#define TARNWICKCTL_LIBRARY_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema_table.h"
#include "tarnwick.h"

namespace twctl {

// Owns a handle of the library.
class Handle {
public:
    Handle() = default;
    ~Handle() { delete_attribs_mngr(mngr_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // Opens (creating or completing) the file, or the located one when file is empty.
    int32_t open(const std::optional<std::string>& file) {
        return attrib_mngr_init(file ? file->c_str() : nullptr, &mngr_);
    }
    AttribMngr* get() const { return mngr_; }

private:
    AttribMngr* mngr_ = nullptr;
};

// The path that opening with no path uses (attrib_mngr_get_null_filename).
int32_t located_path(std::string* path);

// The store's code for a file it refuses as possibly planted, as the library reports it
// (ATTRIB_MNGR_UNTRUSTED_FILE); every other code unchanged. Every code of the store that
// tarnwickctl reports passes here.
int32_t library_code(int32_t store_code);

// One line of a file, as the store reads it (config_enum_lines).
struct Line {
    uint32_t number = 0;
    int32_t kind = 0;  // CONFIG_LINE_*
    std::string text, section, key, value;
};

// A file's lines, loaded once, with what the library would say of its scrambled keys.
class FileView {
public:
    // Reads the file at path through a store of its own; nothing is written. The store's
    // codes, as library_code gives them.
    int32_t load(const std::string& path);
    // The lines of a store that already holds the file (config_enum_lines).
    int32_t load_from(uint32_t cfg, const std::string& path);

    const std::vector<Line>& lines() const { return lines_; }

    // The entry a get by name reads: the first of the key in file order, whatever its section;
    // NULL when there is none.
    const Line* first_entry(std::string_view key) const;

    // Whether some header or entry names section ("" for the lines before any header).
    bool has_section(std::string_view section) const;

    // The first entry of key in section (any occurrence of the section; "": before the first
    // header), or NULL.
    const Line* find(std::string_view section, std::string_view key) const;

    // Whether the library takes key as scrambled: some section holds its marker key.
    bool scrambled(std::string_view key) const;
    // Whether the entry l is a scrambled value: its key is scrambled and it stands outside
    // the markers' section.
    bool scrambled_entry(const Line& l) const;

private:
    void index();

    std::vector<Line> lines_;
    std::unordered_map<std::string, size_t> first_;  // folded key -> first entry
};

// A store of the tool's own that is never saved, holding the file at path as it is (a missing
// file as a new, empty one): a write tries its change there first, so that a refused name or
// value is refused before anything is written, and a check plans there.
class Store {
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Loads the file at path, or takes it as new when it does not exist. ATTRIB_MNGR_NO_CONFIG
    // when no store could be made; the store's codes as library_code gives them.
    int32_t open(const std::string& path);
    uint32_t cfg() const { return cfg_; }
    bool exists() const { return exists_; }
    // The file's lines as loaded (none for a new file).
    const FileView& view() const { return view_; }

private:
    uint32_t cfg_;
    bool exists_ = false;
    FileView view_;
};

// The machine-wide lock of the library's opening (TARNWICK_INIT_LOCK_NAME), held from a
// successful acquire() until destruction. Never waits without a bound.
class InitLock {
public:
    InitLock() = default;
    ~InitLock();
    InitLock(const InitLock&) = delete;
    InitLock& operator=(const InitLock&) = delete;

    // Waits at most timeout_ms for the lock. ATTRIB_MNGR_OK when held (also when it already
    // was), ATTRIB_MNGR_LOCK_TIMEOUT when another process held it all that time. Throws
    // std::runtime_error when the lock cannot be opened at all (as opening throws then).
    int32_t acquire(uint32_t timeout_ms = kTimeoutMs);
    bool held() const { return held_; }

    static constexpr uint32_t kTimeoutMs = 60000;  // the bound opening uses

private:
    uint32_t lock_ = 0;
    bool held_ = false;
};

// The one way tarnwickctl changes an attribute file (set, unset, edit and apply):
//
//   FileWrite w;
//   rc = w.open(file);        // 1-3 below
//   ... w.before(), w.cfg() ...  // the caller changes the store (config_set_attrib, ...)
//   rc = w.save();            // 4; only when something changed
//                             // 5: the lock is left and the store released with w
//
// 1. The file as it was is read through a store of its own (before(): missing is a file
//    that does not exist). A file the store refuses as planted is refused here, before
//    anything is written (ATTRIB_MNGR_UNTRUSTED_FILE).
// 2. attrib_mngr_init on the path creates a missing file with every default and completes an
//    existing one, exactly as opening does (under the lock, which opening takes itself); that
//    handle is released at once.
// 3. With lock_now (set, unset, apply) the machine-wide lock is taken (bounded: -30 after
//    60 s), then the store cfg() loads the file. Without it (edit) the store loads at once, and
//    lock() takes the lock later, before the save.
// 4. save() writes cfg() with CONFIG_SAVE_IF_UNCHANGED, inside the lock: when another writer
//    replaced the file since cfg() read it, nothing is written and the result is
//    CONFIG_E_CHANGED. The store's codes come as library_code gives them.
// Every method returns ATTRIB_MNGR_OK or a code; after a failure only the destructor is
// called. file: the given path, or none for the located file (then located as opening
// locates it, creating QZ_CFG_FILE_PATH's directory).
class FileWrite {
public:
    FileWrite() = default;
    ~FileWrite();
    FileWrite(const FileWrite&) = delete;
    FileWrite& operator=(const FileWrite&) = delete;

    int32_t open(const std::optional<std::string>& file, bool lock_now = true);
    int32_t lock() { return lock_.acquire(); }
    int32_t save();

    // The path the write works on; known after open, also when open failed after locating.
    const std::string& path() const { return path_; }
    // The file before step 2 (existed() false when there was none).
    bool existed() const { return existed_; }
    const FileView& before() const { return before_; }
    // The store that holds the file (created or completed), with the caller's changes.
    uint32_t cfg() const { return cfg_; }
    // The file as cfg() loaded it, before the caller's changes.
    const FileView& loaded() const { return loaded_; }
    // What step 2 did to the file, for the words of a failure after open: a caller that then
    // writes nothing has still left the file created or completed with its defaults. Judged
    // on the file as cfg() loaded it, under the lock.
    enum Opening { kUntouched, kCreated, kCompleted };
    Opening opening() const;

private:
    std::string path_;
    bool existed_ = false;
    FileView before_;
    FileView loaded_;
    uint32_t cfg_ = 0;
    InitLock lock_;
};

// The clear text of a scrambled stored value. ATTRIB_MNGR_OK, or ATTRIB_MNGR_UNSCRAMBLE_FAILED
// when the stored text is not one that scrambling writes (its fault, in words, then goes to
// *why unless why is NULL); ATTRIB_MNGR_NO_MEMORY.
int32_t reveal(const std::string& stored, std::string* clear, std::string* why = nullptr);

// The stored text of clear, scrambled with the clock as seed.
std::string scramble(const std::string& clear);

// Overwrites a secret before its memory is released.
void wipe(std::string* secret);

// A directory of scratch files only the caller can use, removed with its content.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !dir_.empty(); }
    std::string path(const std::string& name) const;
    // Keeps the directory and its files when the scratch directory ends.
    void keep() { keep_ = true; }

private:
    std::string dir_;
    bool keep_ = false;
};

// A whole file's bytes; false when it cannot be read.
bool read_bytes(const std::string& path, std::string* bytes);
// Writes bytes to a new or truncated file readable and writable by its owner alone where the
// platform has such modes; false on failure.
bool write_private_file(const std::string& path, const std::string& bytes);

}  // namespace twctl

#endif
