#include "lock_failure.h"

#include <windows.h>

// The lock is a mutex in the Global namespace; an event holding that name keeps it from
// being created.
LockObstacle::LockObstacle(const std::string& dir) : m_dir(dir) {
    m_object = CreateEventA(nullptr, TRUE, FALSE, "Global\\tarnwick_init_IPCS");
    m_in_place = m_object != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
}

LockObstacle::~LockObstacle() {
    if (m_object != nullptr) CloseHandle(m_object);
}
