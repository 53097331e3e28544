/* SPDX-License-Identifier: Apache-2.0 */
/* config: an INI store that holds files in memory and writes them back without losing a byte
 * it was not asked to change.
 *
 * Handles. new_config returns a handle; 0 means none. A handle holds one source file, added
 * once, by path (config_add_ini_file_source or config_add_ini_new_file_source). Operations
 * that test, change, list or save the store name that path again, byte for byte; another path
 * is CONFIG_E_PATH. A handle that is 0, deleted, or never returned by new_config gives
 * CONFIG_E_HANDLE (null or 0 where the call returns a pointer or a truth value); handles are
 * never reused, so a stale one never reaches another store. Calls on different handles may run
 * on different threads at once; one handle is used by one thread at a time.
 *
 * Values returned by the store belong to it and stay valid until the next change of the same
 * handle or delete_config.
 *
 * File syntax. A line ends at LF; a CR just before it belongs to the line ending, and any other
 * CR is an ordinary byte of the line, of a name or value too. After leading
 * blanks (spaces and tabs), a line is
 *   - a comment or nothing: empty, or starting with ';' or '#';
 *   - a section header: '[' name ']', anything after the ']' ignored;
 *   - an entry: key '=' value, split at the first '='. Key and value are trimmed of blanks;
 *     the value is taken verbatim up to the line ending: no inline comments, no quotes, so a
 *     value may hold ';', '#', '=' and quotes;
 *   - anything else, kept and ignored.
 * Entries before the first header belong to no section; config_get_attrib finds them.
 * Section and key names compare without regard to ASCII case; the spelling in the file is kept.
 * Every name a loaded file holds can be found, tested, set and removed by that name; the one
 * section name that cannot be set is "" (a header "[]"), which config_remove_attrib takes for
 * the entries before the first header.
 *
 * Lossless. A file loaded and saved without changes is byte-for-byte the same, whatever it
 * holds: comments, blank lines, spacing, order, duplicates, lines of no meaning, CRLF, LF or a
 * mix, a UTF-8 byte-order mark, no final line break, bytes that are not text. There is no limit
 * on line or value length; a file must be smaller than 4 GiB.
 *
 * Changes. Changing a value rewrites only the value part of its line; the spacing and the line
 * ending stay. A new key goes right after the last entry of its section (of its first
 * occurrence), before the comments and blank lines that follow that entry; a new section goes
 * at the end of the file. New lines end with the file's first line ending (CRLF on Windows and
 * LF on POSIX when the file has none yet); a last line without a line break gets one when a
 * line is added after it: the file's, or CRLF when that line ends in a CR, which thus stays
 * part of the line's text (a value "1\r" stays "1\r").
 *
 * Trust. Another local user may plant files, links and directories wherever they may write.
 * A directory is shared when users other than the caller and the administrators may create or
 * replace entries in it (POSIX: world-writable, sticky or not, or owned by a user other than
 * the caller and root; Windows: an access list that lets others add files, or an owner other
 * than the caller, SYSTEM and Administrators). Loading refuses (CONFIG_E_UNTRUSTED) a file in a
 * shared directory that belongs to neither the caller nor an administrator, and a symbolic
 * link (Windows: reparse point) there that is not theirs. The verdict is taken on the open file
 * and directory that are actually read, never on a name looked up before: a file swapped in
 * between is judged itself. A group-writable directory is its administrator's choice and stays
 * trusted.
 *
 * Saving is atomic and durable: a temporary file in the same directory is written and flushed
 * to disk, then put in place of the file (POSIX: rename, then the directory is synced;
 * Windows: MoveFileEx, one rename, retried for a moment while another process such as a
 * virus scanner holds the file). A crash at any moment leaves the old file or the new one. The
 * file keeps its POSIX mode (and owner and group where permitted) or its Windows attributes and
 * ACL, and a symbolic link is written through to its target. A read-only file (no write
 * permission, no write bit at all, or the Windows read-only attribute) is not replaced:
 * CONFIG_E_ACCESS. A failed save returns an error, leaves the file as it was and removes its
 * temporary file (CONFIG_E_DURABILITY excepted). A save whose bytes equal the file on disk does
 * not touch it. A save with nothing changed since the load or the last save, while the file on
 * disk is still the version then seen (the same file, size and modification time), reads and
 * writes nothing; a file changed on disk meanwhile gets the store's bytes back.
 */
#ifndef CONFIG_H
#define CONFIG_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(CONFIG_BUILD)
#    define CONFIG_API __declspec(dllexport)
#  else
#    define CONFIG_API __declspec(dllimport)
#  endif
#  define CONFIG_CALL __cdecl
#else
#  define CONFIG_API __attribute__((visibility("default")))
#  define CONFIG_CALL
#endif

typedef uint32_t config_handle; /* 0 means none */

/* Result codes: 0 for success, else negative and in CONFIG_E_FIRST..CONFIG_E_LAST, apart from
 * the attribute library's own codes. CONFIG_RESULT_CODES(X) lists every code as
 * X(name, value, text): the name, its value and what it means in words (the text the
 * attribute library's attrib_mngr_error_text returns). The names are defined from this list
 * as constants: of type int32_t in C++, enumeration constants (int) in C. */
#define CONFIG_RESULT_CODES(X) \
    X(CONFIG_OK,                0, "success") \
    X(CONFIG_E_HANDLE,      -1001, "the configuration handle is 0, deleted, or was never returned by new_config") \
    X(CONFIG_E_ARGUMENT,    -1002, "a required pointer is null, or a path is empty") \
    X(CONFIG_E_HAS_SOURCE,  -1003, "the configuration handle already holds a source file") \
    X(CONFIG_E_NO_SOURCE,   -1004, "the configuration handle holds no source file yet") \
    X(CONFIG_E_PATH,        -1005, "the path is not the one the source file was added with") \
    X(CONFIG_E_FLAGS,       -1006, "the save was given flags it does not know") \
    X(CONFIG_E_SECTION,     -1007, "the section name is refused: empty, blank at an edge, or holding a line break or ']'") \
    X(CONFIG_E_KEY,         -1008, "the key is refused: empty, blank at an edge, holding a line break or '=', or starting with '[', ';' or '#'") \
    X(CONFIG_E_VALUE,       -1009, "the value is refused: it holds a line break, or starts or ends with a blank") \
    X(CONFIG_E_NOT_FOUND,   -1010, "the file, or a directory of its path, does not exist") \
    X(CONFIG_E_EXISTS,      -1011, "a file already exists where a new file was to be created") \
    X(CONFIG_E_NOT_FILE,    -1012, "the path names a directory, a device, a pipe or a loop of links, not a file") \
    X(CONFIG_E_ACCESS,      -1013, "permission denied, or the file is read-only") \
    X(CONFIG_E_SHARING,     -1014, "another process kept the file open, still after retrying") \
    X(CONFIG_E_NO_SPACE,    -1015, "the disk is full, or a quota is exceeded") \
    X(CONFIG_E_NO_MEMORY,   -1016, "out of memory in the configuration store") \
    X(CONFIG_E_TOO_LARGE,   -1017, "the file is 4 GiB or larger") \
    X(CONFIG_E_READ,        -1018, "reading the file failed") \
    X(CONFIG_E_CREATE,      -1019, "creating the temporary file of the save failed") \
    X(CONFIG_E_WRITE,       -1020, "writing the temporary file of the save failed") \
    X(CONFIG_E_FLUSH,       -1021, "flushing the temporary file of the save to disk failed") \
    X(CONFIG_E_REPLACE,     -1022, "putting the saved file in place of the old one failed") \
    X(CONFIG_E_DURABILITY,  -1023, "saved, but syncing the directory failed: the save may not survive a crash") \
    X(CONFIG_E_IO,          -1024, "the operating system reported another failure") \
    X(CONFIG_E_UNTRUSTED,   -1025, "the file lies in a directory other users may write to and belongs to another user: " \
                                   "it may have been planted there; nothing was read or written") \
    X(CONFIG_E_CHANGED,     -1026, "the file changed on disk since it was read; nothing was written") \
    X(CONFIG_E_INTERNAL,    -1098, "an unexpected failure inside the configuration store")

#ifdef __cplusplus
#  define CONFIG_DEFINE_RESULT_CODE(name, value, text) static const int32_t name = (value);
CONFIG_RESULT_CODES(CONFIG_DEFINE_RESULT_CODE)
#else
#  define CONFIG_DEFINE_RESULT_CODE(name, value, text) name = (value),
enum { CONFIG_RESULT_CODES(CONFIG_DEFINE_RESULT_CODE) };
#endif
#undef CONFIG_DEFINE_RESULT_CODE

/* The range of the store's codes. */
#define CONFIG_E_FIRST     (-1000)
#define CONFIG_E_LAST      (-1099)

#ifdef __cplusplus
extern "C" {
#endif

/* A new, empty store without source; 0 when none can be created. */
CONFIG_API config_handle CONFIG_CALL new_config(void);

/* Loads an existing file as the handle's source. On failure the handle stays without source. */
CONFIG_API int32_t CONFIG_CALL config_add_ini_file_source(config_handle cfg, const char* path);

/* Takes path as the home of a new, empty file, written by the first save; CONFIG_E_EXISTS when
 * a file already exists there (it would be replaced), CONFIG_E_NOT_FILE when a directory,
 * device or pipe does. Should a file appear at the path
 * before the save, the save replaces it, atomically. */
CONFIG_API int32_t CONFIG_CALL config_add_ini_new_file_source(config_handle cfg, const char* path);

/* The value of the first entry in file order whose key matches, whatever section holds it;
 * null when there is none, and for a bad handle or a null key. A value holding a NUL byte
 * reads up to it. */
CONFIG_API const char* CONFIG_CALL config_get_attrib(config_handle cfg, const char* key);

/* Non-zero when some occurrence of the section holds the key, else zero; zero also for a bad
 * handle, a path that is not the source and a null argument. A name no line can hold (one
 * config_set_attrib refuses) is held by none. */
CONFIG_API int32_t CONFIG_CALL config_get_attrib_val(config_handle cfg, const char* path, const char* section,
                                                     const char* key);

/* Sets the first entry of the key in the section (any occurrence of the section), creating the
 * section and the key as needed; in memory only, until config_save. A name or value that would
 * not read back exactly is refused (CONFIG_E_SECTION, _KEY, _VALUE) and changes nothing; the
 * value may be empty. */
CONFIG_API int32_t CONFIG_CALL config_set_attrib(config_handle cfg, const char* path, const char* section,
                                                 const char* key, const char* value);

/* Removes every entry of the key in every occurrence of the section (names compare without
 * regard to ASCII case; "" names the entries before the first header), each line with its line
 * ending; in memory only, until config_save. Every other byte of the file stays as it was.
 * Returns the number of entries removed, 0 when there were none (also for other names
 * config_set_attrib refuses, which no entry can have), or CONFIG_E_HANDLE, CONFIG_E_ARGUMENT
 * (a null argument), CONFIG_E_NO_SOURCE or CONFIG_E_PATH. */
CONFIG_API int32_t CONFIG_CALL config_remove_attrib(config_handle cfg, const char* path, const char* section,
                                                    const char* key);

/* Flags of config_save. */
#define CONFIG_SAVE_IF_UNCHANGED 0x1 /* write only while the file on disk is still the version
                                        the store read or last wrote (for a new file: while
                                        nothing is there); else CONFIG_E_CHANGED, nothing written */

/* Writes the store to its source file as described above; flags are 0 or
 * CONFIG_SAVE_IF_UNCHANGED (any other bit: CONFIG_E_FLAGS). The version test compares file,
 * size and modification time just before the save writes; where the platform tells no version
 * it cannot pass. A writer that does not take the caller's lock can still slip in between. */
CONFIG_API int32_t CONFIG_CALL config_save(config_handle cfg, const char* path, int32_t flags);

/* Releases the store and everything it holds; unsaved changes are lost. A bad handle does
 * nothing. */
CONFIG_API void CONFIG_CALL delete_config(config_handle cfg);

/* Calls visit for every key of the handle's file in file order, duplicates included, with
 * the section's and key's stored spelling; stops when visit returns non-zero and returns
 * that value, else CONFIG_OK. Entries before the first header come with section "". The
 * strings are valid during the call only. */
typedef int32_t (CONFIG_CALL *config_visit_fn)(void* ctx, const char* section, const char* key, const char* value);
CONFIG_API int32_t CONFIG_CALL config_enum_attribs(config_handle cfg, const char* path, config_visit_fn visit,
                                                   void* ctx);

/* Kinds of line, as config_enum_lines reports them (see File syntax). */
#define CONFIG_LINE_COMMENT 0 /* empty, blanks only, or a comment */
#define CONFIG_LINE_SECTION 1 /* a section header */
#define CONFIG_LINE_ENTRY   2 /* key=value */
#define CONFIG_LINE_OTHER   3 /* anything else: kept, and read by nothing */

/* size bytes at data, followed by a NUL byte that is not counted; the bytes may hold NULs. */
typedef struct config_text {
    const char* data;
    uint32_t size;
} config_text;

typedef struct config_line {
    uint32_t number;     /* 1 for the first line; a UTF-8 byte-order mark is part of no line */
    int32_t kind;        /* CONFIG_LINE_* */
    config_text text;    /* the whole line without its line ending (LF, or CR LF) */
    config_text section; /* the section the line belongs to: a header's own name, "" before the first header */
    config_text key;     /* an entry's key as stored (trimmed); empty for other kinds */
    config_text value;   /* an entry's value as stored (trimmed); empty for other kinds */
} config_line;

/* Calls visit for every line of the handle's file in file order, as it stands in memory
 * (changes not yet saved included); the numbers are those the saved file would have. Stops
 * when visit returns non-zero and returns that value, else CONFIG_OK. line and its texts are
 * valid during the call only. CONFIG_E_HANDLE, CONFIG_E_ARGUMENT (null path or visit),
 * CONFIG_E_NO_SOURCE, CONFIG_E_PATH. */
typedef int32_t (CONFIG_CALL *config_line_fn)(void* ctx, const config_line* line);
CONFIG_API int32_t CONFIG_CALL config_enum_lines(config_handle cfg, const char* path, config_line_fn visit,
                                                 void* ctx);

/* Replaces everything the handle holds of its file with the size bytes at text (NULL only
 * with size 0), in memory until config_save: afterwards the handle reads as if the file had
 * held exactly those bytes when it was added, and config_save writes exactly them, the way
 * every save writes (atomic, durable, mode, owner, ACL and links kept). CONFIG_E_HANDLE,
 * CONFIG_E_ARGUMENT, CONFIG_E_NO_SOURCE, CONFIG_E_PATH, CONFIG_E_TOO_LARGE or
 * CONFIG_E_NO_MEMORY, each changing nothing. */
CONFIG_API int32_t CONFIG_CALL config_set_text(config_handle cfg, const char* path, const char* text,
                                               uint32_t size);

#ifdef __cplusplus
}
#endif

#endif /* CONFIG_H */
