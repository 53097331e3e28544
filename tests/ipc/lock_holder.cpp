// SPDX-License-Identifier: Apache-2.0
// Holds the opening lock until the test's opener has started to open, and records what it
// saw while holding it.
// Usage: ipc_lock_holder LOG ATTRIB_FILE
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "event_log.h"
#include "tarnwick/corvane.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const twtest::EventLog log(argv[1]);
    const char* attrib_file = argv[2];

    const uint32_t lock = init_interprocess_critical_section("tarnwick_init_IPCS");
    if (lock == 0) return 3;
    enter_interprocess_critical_section(lock);
    log.append("holder-entered");
    if (!log.wait_for("opener-calling")) return 4;
    // Give an opener that ignores the lock every chance to get through and create the file.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::FILE* f = std::fopen(attrib_file, "rb");
    log.append(f ? "holder-saw-file" : "holder-saw-no-file");
    if (f) std::fclose(f);
    log.append("holder-leaving");
    leave_interprocess_critical_section(lock);
    destroy_interprocess_critical_section(lock);
    return 0;
}
