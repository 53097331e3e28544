/* SPDX-License-Identifier: Apache-2.0 */
// Platform parts of the kv_exp tests.
#ifndef KV_EXP_TEST_SUPPORT_H
#define KV_EXP_TEST_SUPPORT_H

#include <cstdint>

namespace support {

// A page of memory that faults on every access (never released).
volatile int* no_access_page();
// The fault code a CKvSystemException carries for an access violation.
uint32_t access_violation_code();
// The exit code twtest::Child::wait reports for a child ended by an unhandled access violation.
int killed_by_access_violation();
// Installs the platform's own last-resort handling of access violations (POSIX: a SIGSEGV
// handler; Windows: the unhandled-exception filter), which ends the process with exit_code.
void exit_on_fault(int exit_code);
// Prepares a helper process that is meant to crash: no crash dialog or debugger; an unhandled
// fault ends it with the code killed_by_access_violation() names.
void prepare_to_crash();

}  // namespace support

#endif
