// Where the attribute file lives when the host names no path.
#ifndef TARNWICK_ATTRIBS_LOCATE_H
#define TARNWICK_ATTRIBS_LOCATE_H

#include <cstdint>

namespace tw {

constexpr int32_t kDefaultPathSize = 1024;

// Locates the attribute file for opening with a null path. default_path: the caller's buffer
// of kDefaultPathSize bytes. On ATTRIB_MNGR_OK, *path is the file's path: either default_path
// itself (*allocated false) or a block from maw_malloc (*allocated true) that the caller
// releases with maw_free. On failure returns the code and sets *path to NULL.
int32_t locate_attrib_file(char* default_path, char** path, bool* allocated);

}  // namespace tw

#endif
