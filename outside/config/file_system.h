/* SPDX-License-Identifier: Apache-2.0 */
// cfg::FileSystem: every file operation the store performs, behind one interface so that a
// store can be given another implementation (tests inject failures at each step of a save).
// One implementation per platform (config_posix.cpp, config_win.cpp); operating-system errors
// are translated into CONFIG_E_* codes there and nowhere else. Paths are narrow strings
// passed to the system as they are. Every call returns CONFIG_OK or a CONFIG_E_* code.
#ifndef CONFIG_FILE_SYSTEM_H
#define CONFIG_FILE_SYSTEM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>


namespace cfg {

// One version of a file on disk: the same file (device and file number) with the same size
// and modification time. valid is false where the platform or the file system tells none.
struct FileStamp {
    bool valid = false;
    uint64_t device = 0;
    uint64_t file = 0;
    uint64_t size = 0;
    int64_t modified = 0;  // in the platform's own unit
};

// True when both are valid and name the same version of the same file.
inline bool same_version(const FileStamp& a, const FileStamp& b) {
    return a.valid && b.valid && a.device == b.device && a.file == b.file && a.size == b.size &&
           a.modified == b.modified;
}

class ReadableFile {
public:
    virtual ~ReadableFile() = default;  // closes the file
    // Reads up to capacity bytes; *got == 0 at the end of the file.
    virtual int32_t read(char* buffer, size_t capacity, size_t* got) = 0;
    // The size when the file was opened (a hint: the file may change meanwhile).
    virtual uint64_t size_hint() const = 0;
    // The version of the file that was opened; invalid where none is known.
    virtual FileStamp stamp() const { return FileStamp(); }
};

class WritableFile {
public:
    virtual ~WritableFile() = default;  // closes the file if close() was not called
    virtual int32_t append(std::string_view bytes) = 0;
    // Flushes what was written to the disk itself.
    virtual int32_t sync() = 0;
    // Gives the file, once written and flushed, what the replacement must keep of the file it
    // replaces (POSIX: mode and owner; a new file gets mode 0600). Until then the file is open
    // to its creator alone. The default does nothing.
    virtual int32_t finish() { return 0; }
    // Releases the file even when it reports a failure.
    virtual int32_t close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens an existing regular file for reading. CONFIG_E_NOT_FOUND when nothing is there,
    // CONFIG_E_NOT_FILE for a directory, device or pipe (never blocks on one).
    // CONFIG_E_UNTRUSTED (see Trust in config.h) when the file, or a link on the way to it,
    // lies in a shared directory and belongs to neither the caller nor an administrator. The
    // verdict is taken on what is held: the directory is opened first and judged on its own
    // descriptor or handle, the file is opened relative to it (POSIX: openat, no link followed
    // by the open itself; Windows: the directory held so that it cannot be renamed, the file
    // opened with FILE_FLAG_OPEN_REPARSE_POINT and found by its final path to lie in that
    // directory) and judged on the descriptor or handle that is then read. Links are followed
    // one hop at a time, each hop judged the same way.
    virtual int32_t open_for_read(const std::string& path, std::unique_ptr<ReadableFile>* file) = 0;

    // CONFIG_OK when something exists at path, CONFIG_E_NOT_FOUND when nothing does. POSIX
    // follows symbolic links (a link to nothing is nothing); Windows asks about the name
    // itself (a link to nothing is something).
    virtual int32_t probe(const std::string& path) = 0;

    // The file that writing to path must replace: path itself, or the final target of the
    // symbolic links (Windows: reparse points, junctions included) it names. A link is followed
    // only when the caller or an administrator owns it (POSIX: root; Windows: SYSTEM or the
    // Administrators group), CONFIG_E_ACCESS otherwise: another user may have placed it. A link
    // to nothing is never replaced and never written through (CONFIG_E_NOT_FOUND: the save
    // would create a file where it points), on every platform. (Wine shows its host's links
    // as no reparse points: one that leads elsewhere counts as a link of the directory's
    // writers, followed from a trusted directory and CONFIG_E_ACCESS in a shared one; one that
    // leads nowhere it hides, and the save puts its file in the link's place.)
    virtual int32_t resolve_links(const std::string& path, std::string* target) = 0;

    // Creates a new temporary file, exclusively, in target's directory and names it in
    // *temp_path. Where target exists it must be a writable regular file. The name carries a
    // random part that another user cannot foresee, and a name already taken (planted there,
    // say) is passed over for another (POSIX: O_EXCL; Windows: CREATE_NEW). The temporary file
    // is never more open than the target: POSIX creates it 0600 (finish() then gives it the
    // target's mode and owner); Windows creates it with the target's access list, and fails
    // when that list cannot be read (a new file gets its directory's, but in a shared
    // directory the private list below). When the target belongs to another user who is not an
    // administrator and the replacement stays the caller's, the replacement is open to the
    // caller alone (POSIX: the target's mode without group and other bits; Windows: no access
    // list entry for anyone but the caller, SYSTEM and Administrators): the other user may
    // have made the old file readable to all in order to read what the caller writes.
    virtual int32_t create_temp(const std::string& target, std::string* temp_path,
                                std::unique_ptr<WritableFile>* file) = 0;

    // Puts from in place of to in one step, whether or not to exists; from is gone on success
    // and untouched on failure (to is then unchanged too).
    virtual int32_t replace(const std::string& from, const std::string& to) = 0;

    // Makes a completed replace of path durable (POSIX: syncs its directory).
    virtual int32_t sync_dir(const std::string& path) = 0;

    virtual int32_t remove(const std::string& path) = 0;

    // The version of the file at path now (symbolic links followed); *stamp stays invalid,
    // with CONFIG_OK, where the implementation tells none.
    virtual int32_t stamp(const std::string& path, FileStamp* stamp) {
        (void)path;
        *stamp = FileStamp();
        return 0;
    }
};

// The operating system's implementation; stateless, lives as long as the process.
FileSystem& os_file_system();

// Fills size bytes at out from the system's random generator (POSIX: getrandom; Windows: the
// system-preferred generator of BCrypt). False when the system gives none.
bool os_random(void* out, size_t size);

// Line ending of new files and of files that have none: "\r\n" on Windows, "\n" on POSIX.
const char* native_line_ending();

// Reads a whole regular file into *bytes; *stamp (when not null) gets the version opened.
int32_t read_whole_file(FileSystem& fs, const std::string& path, std::string* bytes, FileStamp* stamp = nullptr);

// Writes bytes to path so that a crash at any moment leaves either the old file or the new one:
// a temporary file beside the target, flushed, finished, then put in its place, then the
// directory synced. A symbolic link is written through to its target as resolve_links allows. Does nothing when the file already
// holds exactly these bytes. On failure the target is unchanged and the temporary file removed;
// the one exception is CONFIG_E_DURABILITY, returned when only the final directory sync failed:
// the new content is then in place but may not survive a crash.
int32_t write_file_atomically(FileSystem& fs, const std::string& path, std::string_view bytes);

}  // namespace cfg

#endif
