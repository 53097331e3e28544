// SPDX-License-Identifier: Apache-2.0
// Helper process of the lock tests: corvane_lock_helper MODE NAME LOG
//   enter         logs "waiting", enters the lock, logs "entered", leaves and exits 0
//   hold          enters the lock, logs "held", then waits to be killed
//   exit-holding  enters the lock, logs "held" and exits 0 without leaving or destroying
#include <chrono>
#include <string>
#include <thread>

#include "event_log.h"
#include "tarnwick/corvane.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string mode = argv[1];
    const twtest::EventLog log(argv[3]);
    if (mode == "enter") log.append("waiting");
    const uint32_t lock = init_interprocess_critical_section(argv[2]);
    if (lock == 0) return 3;
    enter_interprocess_critical_section(lock);
    if (mode == "enter") {
        log.append("entered");
        leave_interprocess_critical_section(lock);
        destroy_interprocess_critical_section(lock);
        return 0;
    }
    log.append("held");
    if (mode == "exit-holding") return 0;
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
