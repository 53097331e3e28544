/* SPDX-License-Identifier: Apache-2.0 */
// What the crash test checks that a save keeps of a file, per platform.
#ifndef CONFIG_TEST_CRASH_SUPPORT_H
#define CONFIG_TEST_CRASH_SUPPORT_H

#include <string>

namespace crashtest {

// Gives the file a mark a save must keep (POSIX: mode 0640; Windows: the hidden attribute).
bool mark_file(const std::string& path);
// True while the file still carries that mark.
bool file_marked(const std::string& path);

}  // namespace crashtest

#endif
