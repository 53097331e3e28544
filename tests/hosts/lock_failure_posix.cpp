#include "lock_failure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

// corvane keeps the lock in the file corvane-<name>.lock of CORVANE_LOCK_DIR; a directory of
// that name cannot be opened as the lock file.
static std::string obstacle(const std::string& dir) { return dir + "/corvane-tarnwick_init_IPCS.lock"; }

LockObstacle::LockObstacle(const std::string& dir) : m_dir(dir) {
    m_in_place = setenv("CORVANE_LOCK_DIR", dir.c_str(), 1) == 0 && mkdir(obstacle(dir).c_str(), 0700) == 0;
}

LockObstacle::~LockObstacle() { rmdir(obstacle(m_dir).c_str()); }
