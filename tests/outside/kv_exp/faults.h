/* SPDX-License-Identifier: Apache-2.0 */
// Faulting accesses the compiler cannot see through or remove.
#ifndef KV_EXP_TEST_FAULTS_H
#define KV_EXP_TEST_FAULTS_H

// Deliberate faults: the sanitizers must let them reach the hardware.
#define KV_EXP_TEST_FAULTING [[gnu::noinline, gnu::no_sanitize("undefined", "address")]]
KV_EXP_TEST_FAULTING inline void write_to(volatile int* p) { *p = 1; }
KV_EXP_TEST_FAULTING inline int read_from(volatile int* p) { return *p; }

// A null pointer the optimiser cannot prove null.
inline volatile int* null_pointer() {
    static volatile int* volatile null = nullptr;
    return null;
}

#endif
