/* SPDX-License-Identifier: Apache-2.0 */
/* plinth32: the small platform layer (paths, files, directories, libraries) the attribute
 * library is built on. Paths are NUL-terminated narrow strings in the platform's own syntax.
 *
 * Status: operations that report success return OS_OK (0x2000001); any other value is a
 * failure. Output buffers are never written past the size stated for them; a result that
 * does not fit is a failure, and the buffer then holds the empty string.
 */
#ifndef PLINTH32_H
#define PLINTH32_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(PLINTH32_BUILD)
#    define PLINTH32_API __declspec(dllexport)
#  else
#    define PLINTH32_API __declspec(dllimport)
#  endif
#  define PLINTH32_CALL __cdecl
#  define OS_PATH_SEPARATOR '\\'
#  define OS_PATH_SEPARATOR_STR "\\"
#else
#  define PLINTH32_API __attribute__((visibility("default")))
#  define PLINTH32_CALL
#  define OS_PATH_SEPARATOR '/'
#  define OS_PATH_SEPARATOR_STR "/"
#endif

#define OS_OK 0x2000001                  /* success */
#define OS_ERR_ARG ((int32_t)0x82000001) /* a required argument is null or out of range */
#define OS_ERR_TOO_LONG ((int32_t)0x82000002) /* the result does not fit the output buffer */
#define OS_ERR_SYSTEM ((int32_t)0x82000003)   /* the operating system refused */
#define OS_MAX_PATH 2048                 /* the size meant by a size argument of -1 */

#ifdef __cplusplus
extern "C" {
#endif

/* Directory of a module, without a trailing separator, into buf (size bytes, -1: OS_MAX_PATH).
 * module: an address inside the module wanted, or NULL for the module whose code called this
 * function (found from the return address: a caller that reaches it by a tail call, as an
 * optimised "return os_get_my_module_dir_name(NULL, ...)" may, is not on the stack and must
 * pass an address of its own). A module in a root directory gives "" on POSIX and "C:" on
 * Windows, as os_split_path does. OS_ERR_ARG: buf NULL or size invalid; OS_ERR_TOO_LONG: the
 * directory does not fit; OS_ERR_SYSTEM: no module holds the address. */
PLINTH32_API int32_t PLINTH32_CALL os_get_my_module_dir_name(const void* module, char* buf, int32_t size);

/* Non-zero when path names an existing file that is not a directory (symbolic links followed). */
PLINTH32_API int32_t PLINTH32_CALL os_is_file_exist(const char* path);
/* Non-zero when path names an existing directory (symbolic links followed). */
PLINTH32_API int32_t PLINTH32_CALL os_is_dir_exist(const char* path);
/* Creates the directory and any missing parents (POSIX mode 0777 less the umask); OS_OK on
 * success or when it already exists. OS_ERR_ARG for a NULL or empty path; OS_ERR_SYSTEM when the
 * directory is not there afterwards (a file stands in the way, or the system refused). Parents
 * made before a failure are left in place. */
PLINTH32_API int32_t PLINTH32_CALL os_mkdir(const char* path);

/* The temporary directory, with a trailing separator, into buf: Windows as GetTempPathA gives
 * it; POSIX $TMPDIR when set and not empty, else "/tmp". Its existence is not checked.
 * size: the buffer's size in bytes, or -1 for OS_MAX_PATH. reserved: 0 (ignored). A directory
 * that does not fit, or none at all, leaves buf empty and returns a failure. */
PLINTH32_API int32_t PLINTH32_CALL os_get_tmp_dir(int32_t size, int32_t reserved, char* buf);

/* Splits path into its directory part, its file name without the extension, and the
 * extension. The directory part is everything before the last separator, without trailing
 * separators but keeping a Windows drive: "/" gives "", "/tmp/" gives "/tmp", "C:\" gives
 * "C:", "C:x" gives "C:". The extension runs from the file name's last '.', dot included,
 * unless that dot starts the name or the name is made of dots only (".profile", ".." have
 * none); name followed by extension is the file name. Windows accepts '/' as a separator too.
 * Any output may be NULL; each non-null output holds size bytes (-1: OS_MAX_PATH). When one
 * part does not fit, every non-null output is left empty and OS_ERR_TOO_LONG returned. A NULL
 * path gives OS_ERR_ARG with the outputs emptied; a size of 0 or below -1 gives OS_ERR_ARG
 * with nothing written. */
PLINTH32_API int32_t PLINTH32_CALL os_split_path(const char* path, char* dir, char* name, char* ext, int32_t size);

/* Where os_load_library_ex looks for a library given by name alone. */
#define OS_LOAD_SYSTEM        0 /* the system's own libraries (see below) */
#define OS_LOAD_BESIDE_MODULE 1 /* beside a given module first, then the safe default directories */

/* The one run-time library loader: loads a library and resolves its imports at once; NULL
 * when it cannot be loaded. The current directory is never searched. The handle stays valid
 * for the rest of the process unless the caller releases it.
 *
 * A name holding a separator is a full path and is loaded from there (Windows: a relative
 * path is refused; its own imports come from its directory and the system directory).
 * Otherwise search says where to look:
 * - OS_LOAD_SYSTEM (module ignored). Windows: the system directory alone
 *   (LOAD_LIBRARY_SEARCH_SYSTEM32; where the system refuses that flag, as Windows 7 without
 *   its loader update does, the full path under GetSystemDirectoryA): a copy planted beside the
 *   program is never loaded. POSIX: "NAME.dll" (".dll" in any case) means "libNAME.so", taken
 *   from plinth32's own directory, then from the loader's search; any other name goes to
 *   dlopen unchanged.
 * - OS_LOAD_BESIDE_MODULE: module is an address inside a loaded module (NULL: plinth32).
 *   The library is taken from that module's directory by full path, else from the system's
 *   safe default directories. Windows: the application's directory and the system directory
 *   (LOAD_LIBRARY_SEARCH_DEFAULT_DIRS, or those two full paths where the flag is refused).
 *   POSIX: the loader's search, with "NAME.dll" meaning "libNAME.so" as above.
 * Any other value of search loads nothing. */
PLINTH32_API void* PLINTH32_CALL os_load_library_ex(const char* name, int32_t search, const void* module);
/* os_load_library_ex(name, OS_LOAD_SYSTEM, NULL). */
PLINTH32_API void* PLINTH32_CALL os_load_library(const char* name);
/* Address of a function exported by a loaded library; NULL when there is none, or when library
 * or name is NULL. */
PLINTH32_API void* PLINTH32_CALL os_get_proc_address(void* library, const char* name);

#ifdef __cplusplus
}
#endif

#endif /* PLINTH32_H */
