/* SPDX-License-Identifier: Apache-2.0 */
// What config_win.cpp offers besides os_file_system(), for tests: its step along a path, and
// its file operations with temporary names drawn from a source of the test's own.
#ifndef CONFIG_CONFIG_WIN_H
#define CONFIG_CONFIG_WIN_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "file_system.h"
#include "trust_win.h"

namespace cfg::win {

// The system's step (see Entries): it opens the entry's directory without sharing its
// deletion, so that the directory cannot be renamed or replaced while it is held, judges it
// on that handle, then opens the entry itself with FILE_FLAG_OPEN_REPARSE_POINT and judges
// its owner on that handle. An entry that the system reached elsewhere than in the directory
// held (a link the system followed without showing it as a reparse point, as Wine does with
// the links of its host's file system) is a link whose owner is unknown: trusted in a trusted
// directory, where only the caller and the administrators could have placed it, and not in a
// shared one.
std::unique_ptr<Entries> os_entries();

// The name of a temporary file beside target whose random part is random.
std::string temp_name(const std::string& target, uint64_t random);

// The system's file operations, with the random parts of temporary names taken from next.
std::unique_ptr<FileSystem> os_file_system_with_names(std::function<uint64_t()> next);

}  // namespace cfg::win

#endif
