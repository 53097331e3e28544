/* SPDX-License-Identifier: Apache-2.0 */
// Platform services the plinth32 tests need to set up and check their cases, found by routes
// other than plinth32's own.
#ifndef PLINTH32_TEST_SUPPORT_H
#define PLINTH32_TEST_SUPPORT_H

#include <string>

namespace support {

// Directory of the plinth32 library, without a trailing separator.
std::string plinth32_dir();
// The temporary directory the platform uses when nothing is set, with its trailing separator.
std::string default_temp_dir();

}  // namespace support

#endif
