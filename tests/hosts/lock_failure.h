/* SPDX-License-Identifier: Apache-2.0 */
// Makes the opening lock impossible to create, for real, for as long as the object lives.
#ifndef TARNWICK_TESTS_HOSTS_LOCK_FAILURE_H
#define TARNWICK_TESTS_HOSTS_LOCK_FAILURE_H

#include <string>

class LockObstacle {
public:
    // Makes the name of the lock "tarnwick_init_IPCS" one the system refuses.
    // dir: an existing scratch directory of the host's.
    explicit LockObstacle(const std::string& dir);
    // Removes it again.
    ~LockObstacle();
    LockObstacle(const LockObstacle&) = delete;
    LockObstacle& operator=(const LockObstacle&) = delete;

    // False when the obstacle could not be put in place.
    bool in_place() const { return m_in_place; }

private:
    std::string m_dir;
    void* m_object = nullptr;
    bool m_in_place = false;
};

#endif
