// SPDX-License-Identifier: Apache-2.0
// Helper process of the guard tests: kv_exp_fault_helper MODE
//   caught        faults inside a guard and catches it: exits 0
//   outside       opens and closes a guard, then faults
//   after-unwind  a guard closed by an exception unwinding past it, then a fault
//   other-thread  faults on a second thread while the main thread has a guard open
//   chained       installs its own last-resort fault handling (exit 42), opens and closes a
//                 guard, then faults
// A fault that is not caught ends the process as the platform ends it.
#include <string>
#include <thread>

#include "faults.h"
#include "support.h"
#include "tarnwick/kv_exp.h"
#include "tarnwick/kv_exp_exceptions.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string mode = argv[1];
    support::prepare_to_crash();
    if (mode == "caught") {
        try {
            CKvOsToCppExp guard;
            write_to(null_pointer());
        } catch (CKvSystemException&) {
            return 0;
        }
        return 1;
    }
    if (mode == "outside") {
        { CKvOsToCppExp guard; }
        write_to(null_pointer());
    } else if (mode == "after-unwind") {
        try {
            CKvOsToCppExp guard;
            throw 1;
        } catch (int) {
        }
        write_to(null_pointer());
    } else if (mode == "other-thread") {
        CKvOsToCppExp guard;
        std::thread([] { write_to(null_pointer()); }).join();
    } else if (mode == "chained") {
        support::exit_on_fault(42);
        { CKvOsToCppExp guard; }
        write_to(null_pointer());
    }
    return 3;
}
