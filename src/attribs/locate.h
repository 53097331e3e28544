/* SPDX-License-Identifier: Apache-2.0 */
// Where the attribute file lives when the host names no path.
#ifndef TARNWICK_ATTRIBS_LOCATE_H
#define TARNWICK_ATTRIBS_LOCATE_H

#include <cstddef>
#include <cstdint>

namespace tw {

constexpr int32_t kDefaultPathSize = 1024;

// Locates the attribute file for opening with a null path. default_path: the caller's buffer
// of kDefaultPathSize bytes. On ATTRIB_MNGR_OK, *path is the file's path: either default_path
// itself (*allocated false) or a block from maw_malloc (*allocated true) that the caller
// releases with maw_free. On failure returns the code and sets *path to NULL.
//
// The directory comes from QZ_CFG_FILE_PATH (created when missing; an empty value counts as
// unset), else from the path resolver library, else from the temporary directory. The file
// name carries the product name when the installation's product configuration asks for it.
// Failures: ATTRIB_MNGR_MKDIR_FAILED, ATTRIB_MNGR_NO_TMP_DIR, ATTRIB_MNGR_SPLIT_PATH_FAILED,
// ATTRIB_MNGR_PATH_TOO_LONG (the default path does not fit kDefaultPathSize bytes),
// ATTRIB_MNGR_NO_MEMORY.
int32_t locate_attrib_file(char* default_path, char** path, bool* allocated);

// The pieces below are used by locate_attrib_file and exposed for its tests.

constexpr size_t kProductNameSize = 2048;
constexpr size_t kModulePathSize = 2048;

// Reads the product name from the product configuration file at config_path into product
// (kProductNameSize bytes), blanks turned into underscores. Leaves product empty when the
// file is missing or unreadable, UniqueConfiguration does not begin with '1', ProductName is
// absent, or the name does not fit, or it is not a plain file name: it holds '/', '\', ':' or
// a control character, or it is "." or "..".
void read_product_name_from(const char* config_path, char* product);

// Appends the relative path of the product configuration file to the module directory held
// in module_path (kModulePathSize bytes). Returns false, leaving module_path empty, when the
// result would not fit.
bool append_product_config(char* module_path);

// Appends a separator and the attribute file name for product ("" for none) to the directory
// held in dir (size bytes). Returns ATTRIB_MNGR_OK, or ATTRIB_MNGR_PATH_TOO_LONG with dir
// left as it was when the result would not fit.
int32_t append_file_name(char* dir, size_t size, const char* product);

}  // namespace tw

#endif
