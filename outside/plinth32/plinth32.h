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

/* Directory of a module, without a trailing separator, into buf (size bytes).
 * module: an address inside the module wanted, or NULL for the module that calls this. */
PLINTH32_API int32_t PLINTH32_CALL os_get_my_module_dir_name(const void* module, char* buf, int32_t size);

/* Non-zero when path names an existing file that is not a directory. */
PLINTH32_API int32_t PLINTH32_CALL os_is_file_exist(const char* path);
/* Non-zero when path names an existing directory. */
PLINTH32_API int32_t PLINTH32_CALL os_is_dir_exist(const char* path);
/* Creates the directory and any missing parents; OS_OK on success or when it already exists. */
PLINTH32_API int32_t PLINTH32_CALL os_mkdir(const char* path);

/* The temporary directory, with a trailing separator, into buf. size: the buffer's size in
 * bytes, or -1 for OS_MAX_PATH. reserved: 0. A directory that does not fit, or none at all,
 * leaves buf empty and returns a failure. */
PLINTH32_API int32_t PLINTH32_CALL os_get_tmp_dir(int32_t size, int32_t reserved, char* buf);

/* Splits path into its directory part (without trailing separator, so "/" gives "" and
 * "C:\" gives "C:"), its file name, and the file name's extension (from the last '.').
 * Any output may be NULL; each non-null output holds size bytes (-1: OS_MAX_PATH). */
PLINTH32_API int32_t PLINTH32_CALL os_split_path(const char* path, char* dir, char* name, char* ext, int32_t size);

/* Loads a library by name, NULL when it cannot be loaded. On POSIX "NAME.dll" means
 * "libNAME.so", searched in this library's own directory first, then as the loader does.
 * The handle stays valid for the rest of the process unless the caller releases it. */
PLINTH32_API void* PLINTH32_CALL os_load_library(const char* name);
/* Address of a function exported by a loaded library, NULL when there is none. */
PLINTH32_API void* PLINTH32_CALL os_get_proc_address(void* library, const char* name);

#ifdef __cplusplus
}
#endif

#endif /* PLINTH32_H */
