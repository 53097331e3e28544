/* SPDX-License-Identifier: Apache-2.0 */
/* tarnwick: the agent attribute file.
 *
 * A host opens the attribute file with attrib_mngr_init, reads and writes single
 * attributes, saves with attrib_mngr_save_attribs and releases the handle with
 * delete_attribs_mngr. Opening creates a missing file with every default, or completes an
 * existing one key by key, under one machine-wide lock, and saves it at once.
 *
 * Strings are NUL-terminated narrow strings. Sizes are 32-bit signed byte counts.
 *
 * Buffers: a call that returns text takes a buffer and the address of its size. In: the
 * buffer's size in bytes. When the text and its terminator do not fit, or the buffer is
 * NULL, the call returns ATTRIB_MNGR_BUFFER_TOO_SMALL, writes the size needed (terminator
 * included) through the size pointer and leaves the buffer untouched; the size is left as
 * it was on success. So a NULL buffer asks for the size. A NULL size pointer gives
 * ATTRIB_MNGR_NULL_ARGUMENT.
 *
 * Ownership: the host owns the handle from a successful attrib_mngr_init until it passes it
 * to delete_attribs_mngr, and owns every buffer it passes in. No block allocated by the
 * library is ever handed to the host. A handle is used by one thread at a time.
 *
 * Failures are reported by result codes only: the library writes no log and shows nothing.
 * The one exception that can leave a function is CInterprocException, out of
 * attrib_mngr_init, when the machine-wide lock cannot be created (C++ hosts built with the
 * same compiler catch it; see the end of this file).
 *
 * Hosts built with Visual C++ (or any compiler of Microsoft's ABI) use the C functions through
 * the import library lib/tarnwick.lib. The exception classes follow the GNU C++ ABI and are not
 * declared for them (TARNWICK_CXX_EXCEPTIONS stays undefined): such a host cannot catch
 * CInterprocException, and when the machine-wide lock cannot be created the process ends.
 */
#ifndef TARNWICK_H
#define TARNWICK_H

#include <stdint.h>

#include "tarnwick_version.h" /* TARNWICK_VERSION_MAJOR, _MINOR, _PATCH, _STRING */

#if defined(_WIN32)
#  if defined(TARNWICK_BUILD)
#    define TARNWICK_API __declspec(dllexport)
#  else
#    define TARNWICK_API __declspec(dllimport)
#  endif
#  define TARNWICK_CALL __cdecl
#else
#  define TARNWICK_API __attribute__((visibility("default")))
#  define TARNWICK_CALL
#endif

/* Result codes. TARNWICK_RESULT_CODES(X) lists every code of this library as
 * X(name, value, text): the name, its value, and the text attrib_mngr_error_text returns for
 * it. The names are defined from this list as
 * constants: of type int32_t in C++, enumeration constants (int) in C. Any other non-zero
 * code a function returns is an error of the configuration store, passed on unchanged
 * (CONFIG_E_*, -1001 to -1099; attrib_mngr_error_text knows their texts too). */
#define TARNWICK_RESULT_CODES(X) \
    X(ATTRIB_MNGR_OK,                  0, "success") \
    X(ATTRIB_MNGR_BUFFER_TOO_SMALL,  -12, "the buffer is too small or missing; the size needed was returned") \
    X(ATTRIB_MNGR_MKDIR_FAILED,      -17, "the directory named by QZ_CFG_FILE_PATH could not be created") \
    X(ATTRIB_MNGR_NO_CONFIG,         -18, "the configuration store could not be created") \
    X(ATTRIB_MNGR_NO_TMP_DIR,        -19, "there is no temporary directory for the default location") \
    X(ATTRIB_MNGR_SPLIT_PATH_FAILED, -20, "the temporary directory's path could not be split") \
    X(ATTRIB_MNGR_NULL_HANDLE,       -22, "the handle is null") \
    X(ATTRIB_MNGR_SCRAMBLE_FAILED,   -23, "the value could not be scrambled") \
    X(ATTRIB_MNGR_UNSCRAMBLE_FAILED, -24, "the stored value could not be unscrambled") \
    X(ATTRIB_MNGR_NOT_FOUND,         -25, "no section holds the attribute") \
    X(ATTRIB_MNGR_NULL_ARGUMENT,     -26, "a required argument is null") \
    X(ATTRIB_MNGR_NO_MEMORY,         -27, "out of memory") \
    X(ATTRIB_MNGR_PATH_TOO_LONG,     -28, "the attribute file's path is too long for its buffer") \
    X(ATTRIB_MNGR_UNTRUSTED_FILE,    -29, "the attribute file lies in a directory other users may write to " \
                                          "and belongs to neither the caller nor an administrator; " \
                                          "nothing was read or written") \
    X(ATTRIB_MNGR_LOCK_TIMEOUT,      -30, "the machine-wide lock was not obtained in time; nothing on disk was touched")

#ifdef __cplusplus
#  define TARNWICK_DEFINE_RESULT_CODE(name, value, text) static const int32_t name = (value);
TARNWICK_RESULT_CODES(TARNWICK_DEFINE_RESULT_CODE)
#else
#  define TARNWICK_DEFINE_RESULT_CODE(name, value, text) name = (value),
enum { TARNWICK_RESULT_CODES(TARNWICK_DEFINE_RESULT_CODE) };
#endif
#undef TARNWICK_DEFINE_RESULT_CODE

/* The machine-wide lock under which attrib_mngr_init creates or completes the file (corvane's
 * init_interprocess_critical_section, "tarnwick/corvane.h"). A program that replaces the file
 * by other means takes it too, for as short a time as it can, and never waits for it without
 * a bound. */
#define TARNWICK_INIT_LOCK_NAME "tarnwick_init_IPCS"

/* Flags of attrib_mngr_get_attrib / attrib_mngr_set_attrib; other bits are ignored.
 *
 * ATTRIB_MNGR_FLAG_SCRAMBLED: a set stores the value as scrambled hexadecimal text and
 * records the key as scrambled (the key followed by "Encrypted", empty value, in section
 * "Encription"); a get of a key so recorded returns the value in clear, and of any other key
 * the text as stored. This is obfuscation, not encryption: it keeps a value from a casual
 * glance at the file and nothing more. The seed travels with the text and the mask is a
 * constant of the library, so anyone who has the file and this library, or reads the format,
 * has the value. Protect secrets by other means (file permissions, the system's key store).
 * A set with this flag and a NULL key returns ATTRIB_MNGR_NULL_ARGUMENT and stores nothing;
 * a NULL value is stored as a missing value that reads back as
 * ATTRIB_MNGR_UNSCRAMBLE_FAILED. The value and the stored text are checked for readability
 * on Windows only (the memory manager is asked); on POSIX only NULL is rejected, and an
 * invalid pointer is the caller's fault as everywhere else. */
#define ATTRIB_MNGR_FLAG_SCRAMBLED 0x1u /* set: scramble the value; get: unscramble it */

#ifdef __cplusplus
extern "C" {
#endif

/* The attribute manager handle: opaque; from attrib_mngr_init to delete_attribs_mngr. */
typedef struct AttribMngr AttribMngr;

/* Opens the attribute file at path (NULL: the default location) and stores a new handle
 * through mngr; on any failure stores nothing. Creates a missing file and saves it at once.
 * Returns 0, ATTRIB_MNGR_NULL_ARGUMENT (mngr NULL), ATTRIB_MNGR_NO_CONFIG, -17/-19/-20/-28
 * (NULL path only), ATTRIB_MNGR_NO_MEMORY, ATTRIB_MNGR_UNTRUSTED_FILE, ATTRIB_MNGR_LOCK_TIMEOUT
 * or a store error; throws CInterprocException when the machine-wide lock cannot be created.
 * - ATTRIB_MNGR_UNTRUSTED_FILE: the file (or a symbolic link on the way to it) lies in a
 *   directory where other users may create or replace files (POSIX: world-writable, sticky
 *   as /tmp or not, or owned by a user other than the caller and root; Windows: a directory
 *   whose access list lets users other than the caller, SYSTEM and Administrators add files,
 *   or that another user owns) and belongs to neither the caller nor an administrator (POSIX:
 *   root; Windows: SYSTEM or the Administrators group). Such a file may have been planted by
 *   another user; it is neither read nor written. The verdict is taken on the file actually
 *   opened for reading, so a file swapped in at the last moment is judged itself. A
 *   group-writable directory stays trusted: its group is the administrator's choice. Applies
 *   to explicit paths as to the default location.
 * - ATTRIB_MNGR_LOCK_TIMEOUT: another process held the machine-wide lock for 60 seconds;
 *   the file was not touched. Any local user may take that lock (see the README). */
TARNWICK_API int32_t TARNWICK_CALL attrib_mngr_init(const char* path, AttribMngr** mngr);
/* Copies the value of the key name, whatever section holds it, into buffer (see Buffers);
 * flags bit 0 unscrambles. Returns 0, -12, ATTRIB_MNGR_NULL_HANDLE, ATTRIB_MNGR_NULL_ARGUMENT
 * (size NULL), ATTRIB_MNGR_NOT_FOUND, ATTRIB_MNGR_UNSCRAMBLE_FAILED or ATTRIB_MNGR_NO_MEMORY. */
TARNWICK_API int32_t TARNWICK_CALL attrib_mngr_get_attrib(AttribMngr* mngr, const char* name, char* buffer,
                                                          int32_t* size, uint32_t flags);
/* Sets section/key to value in memory only (saved by attrib_mngr_save_attribs); flags bit 0
 * scrambles. Returns 0, ATTRIB_MNGR_NULL_HANDLE, ATTRIB_MNGR_NULL_ARGUMENT (section or key
 * NULL, or value NULL without the flag), ATTRIB_MNGR_SCRAMBLE_FAILED, ATTRIB_MNGR_NO_MEMORY
 * or a store error. */
TARNWICK_API int32_t TARNWICK_CALL attrib_mngr_set_attrib(AttribMngr* mngr, const char* section, const char* key,
                                                          const char* value, uint32_t flags);
/* Writes the handle's attributes to its file. Returns 0, ATTRIB_MNGR_NULL_HANDLE or a store error. */
TARNWICK_API int32_t TARNWICK_CALL attrib_mngr_save_attribs(AttribMngr* mngr);
/* The full path of the handle's file, owned by the handle (valid until delete_attribs_mngr;
 * never freed by the caller); NULL for a NULL handle. */
TARNWICK_API const char* TARNWICK_CALL attrib_mngr_get_filename(AttribMngr* mngr);
/* Copies into buffer (see Buffers) the path attrib_mngr_init would open for a NULL path,
 * without opening or creating anything. Returns 0, -12, ATTRIB_MNGR_NULL_ARGUMENT (size
 * NULL), -19, -20 or ATTRIB_MNGR_PATH_TOO_LONG. */
TARNWICK_API int32_t TARNWICK_CALL attrib_mngr_get_null_filename(char* buffer, int32_t* size);
/* Releases the handle, its store and its path copy; unsaved changes are lost. NULL does nothing. */
TARNWICK_API void TARNWICK_CALL delete_attribs_mngr(AttribMngr* mngr);
/* The text of a result code, for messages to people: the text of TARNWICK_RESULT_CODES for
 * this library's codes, the text of CONFIG_RESULT_CODES (config.h) for the store's, and one
 * text that says the code is unknown for every other value. Never NULL. The texts are static
 * constants (never freed, never changed), English, without a final full stop, and may be read
 * from any thread at any time, also before attrib_mngr_init and after delete_attribs_mngr. */
TARNWICK_API const char* TARNWICK_CALL attrib_mngr_error_text(int32_t code);

#ifdef __cplusplus
}
#endif

/* The C++ exception classes: declared where the compiler shares the library's C++ ABI (GNU C++
 * on Windows, any compiler elsewhere). */
#if defined(__cplusplus) && (!defined(_WIN32) || (defined(__GNUC__) && !defined(_MSC_VER)))
#define TARNWICK_CXX_EXCEPTIONS 1
#endif

#ifdef TARNWICK_CXX_EXCEPTIONS

#include <stddef.h>

#include <new>

#include "tarnwick/corvane.h"
#include "tarnwick/kv_exp.h"

/* The library's exceptions: CKvBaseException (the root) and CKvSystemException (an
 * operating-system fault inside a CKvOsToCppExp scope), exported by this library. Hosts catch
 * them across the library boundary when built with the same compiler and its shared run-time;
 * other hosts use the C functions only. */
#define KV_EXCEPTION_API TARNWICK_API
#include "tarnwick/kv_exp_exceptions.h"

/* Allocation mix-in: objects of a class deriving from it live in corvane's heap. Out of memory,
 * new throws std::bad_alloc as the global one does: a host's new expression never goes on
 * with a null object. */
class MNew {
public:
    static void* operator new(size_t size) {
        void* block = maw_malloc(size);
        if (block == NULL) throw std::bad_alloc();
        return block;
    }
    static void operator delete(void* block) { maw_free(block); }
};

/* Thrown by attrib_mngr_init when the machine-wide lock cannot be created or opened. */
class TARNWICK_API CInterprocException : public CKvBaseException, public MNew {
public:
    enum { kMessageSize = 512 };
    /* Copies message (truncated to kMessageSize - 1 characters; NULL gives ""). */
    explicit CInterprocException(const char* message);
    /* Copies all kMessageSize bytes of the message array. */
    CInterprocException(const CInterprocException& other);
    virtual ~CInterprocException();
    CInterprocException& operator=(const CInterprocException& other);
    virtual char* Message();

private:
    char m_message[kMessageSize];
};

#endif /* TARNWICK_CXX_EXCEPTIONS */

#endif /* TARNWICK_H */
