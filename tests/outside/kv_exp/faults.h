// Faulting accesses the compiler cannot see through or remove.
#ifndef KV_EXP_TEST_FAULTS_H
#define KV_EXP_TEST_FAULTS_H

[[gnu::noinline]] inline void write_to(volatile int* p) { *p = 1; }
[[gnu::noinline]] inline int read_from(volatile int* p) { return *p; }

// A null pointer the optimiser cannot prove null.
inline volatile int* null_pointer() {
    static volatile int* volatile null = nullptr;
    return null;
}

#endif
