/* config: an INI store that holds files in memory and writes them back without losing a byte
 * it was not asked to change.
 *
 * A handle holds one source file (added once, by path). Operations that change or save the
 * store name that path again; a path that is not the handle's source is an error.
 * Values returned by the store belong to it and stay valid until the next change of the
 * same handle or delete_config.
 *
 * Error codes are negative and lie in CONFIG_E_FIRST..CONFIG_E_LAST.
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

#define CONFIG_OK 0
#define CONFIG_E_FIRST (-1000)
#define CONFIG_E_LAST  (-1099)

#ifdef __cplusplus
extern "C" {
#endif

CONFIG_API config_handle CONFIG_CALL new_config(void);
CONFIG_API int32_t CONFIG_CALL config_add_ini_file_source(config_handle cfg, const char* path);
CONFIG_API int32_t CONFIG_CALL config_add_ini_new_file_source(config_handle cfg, const char* path);
CONFIG_API const char* CONFIG_CALL config_get_attrib(config_handle cfg, const char* key);
CONFIG_API int32_t CONFIG_CALL config_get_attrib_val(config_handle cfg, const char* path, const char* section,
                                                     const char* key);
CONFIG_API int32_t CONFIG_CALL config_set_attrib(config_handle cfg, const char* path, const char* section,
                                                 const char* key, const char* value);
CONFIG_API int32_t CONFIG_CALL config_save(config_handle cfg, const char* path, int32_t flags);
CONFIG_API void CONFIG_CALL delete_config(config_handle cfg);

/* Calls visit for every key of the handle's file in file order, duplicates included, with
 * the section's and key's stored spelling; stops when visit returns non-zero and returns
 * that value, else CONFIG_OK. The strings are valid during the call only. */
typedef int32_t (CONFIG_CALL *config_visit_fn)(void* ctx, const char* section, const char* key, const char* value);
CONFIG_API int32_t CONFIG_CALL config_enum_attribs(config_handle cfg, const char* path, config_visit_fn visit,
                                                   void* ctx);

#ifdef __cplusplus
}
#endif

#endif /* CONFIG_H */
