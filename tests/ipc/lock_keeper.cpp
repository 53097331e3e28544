// SPDX-License-Identifier: Apache-2.0
// Keeps the opening lock until the test says so, as a hostile local user could.
// Usage: ipc_lock_keeper LOG [NAME]   takes the lock NAME (default: the opening's), logs
// "keeper-entered", and leaves once LOG holds "keeper-release".
#include <cstdio>
#include <string>

#include "event_log.h"
#include "tarnwick/corvane.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 2;
    const std::string log = argv[1];
    const uint32_t lock = init_interprocess_critical_section(argc == 3 ? argv[2] : "tarnwick_init_IPCS");
    if (lock == 0) return 3;
    enter_interprocess_critical_section(lock);
    const twtest::EventLog events(log);
    events.append("keeper-entered");
    const bool told = events.wait_for("keeper-release");
    leave_interprocess_critical_section(lock);
    destroy_interprocess_critical_section(lock);
    return told ? 0 : 4;
}
