// SPDX-License-Identifier: Apache-2.0
#include "lock_failure.h"

#include <cstdlib>

// Nothing another process makes can keep the lock from being created; a name longer than the
// system allows can. corvane puts CORVANE_LOCK_PREFIX before every lock name.
LockObstacle::LockObstacle(const std::string& dir) : m_dir(dir) {
    m_in_place = _putenv_s("CORVANE_LOCK_PREFIX", std::string(300, 'x').c_str()) == 0;
}

LockObstacle::~LockObstacle() { _putenv_s("CORVANE_LOCK_PREFIX", ""); }
