/* SPDX-License-Identifier: Apache-2.0 */
// Saves that race another thread changing what lies at the file's path, as another process may
// while a host saves outside the opening lock.
#ifndef TW_TESTS_RACING_SAVE_H
#define TW_TESTS_RACING_SAVE_H

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "file_system.h"
#include "store.h"
#include "tarnwick/config.h"

namespace twtest {

// Loads path (which must exist), then makes `rounds` changes and saves each one while another
// thread runs `disturb` over and over. "" when every save succeeded or gave `allowed`, else the
// first other failure.
inline std::string save_while(const std::string& path, const std::function<void()>& disturb, int rounds,
                              int32_t allowed = CONFIG_OK) {
    cfg::Store store(cfg::os_file_system());
    if (store.add_file_source(path) != CONFIG_OK) return "cannot load " + path;
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done) disturb();
    });
    std::string failure;
    for (int round = 0; round < rounds && failure.empty(); ++round) {
        int32_t rc = store.set(path, "Agent", "TimeOut", std::to_string(round));
        if (rc == CONFIG_OK) rc = store.save(path, 0);
        if (rc != CONFIG_OK && rc != allowed) failure = "round " + std::to_string(round) + ": " + std::to_string(rc);
    }
    done = true;
    other.join();
    return failure;
}

}  // namespace twtest

#endif
