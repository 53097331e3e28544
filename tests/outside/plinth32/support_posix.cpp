// SPDX-License-Identifier: Apache-2.0
#include "support.h"

namespace support {

std::string plinth32_dir() { return PLINTH32_DIR; }

std::string default_temp_dir() { return "/tmp/"; }

}  // namespace support
