// SPDX-License-Identifier: Apache-2.0
// Faults become exceptions by throwing from the SIGSEGV/SIGBUS handler: the unwinder walks from
// the handler through the kernel's signal frame into the faulting code.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "tarnwick/kv_exp.h"
#include "tarnwick/kv_exp_exceptions.h"

namespace {

// Guards open on this thread. Static TLS, so that reading it in a signal handler never allocates.
thread_local uint32_t t_depth __attribute__((tls_model("initial-exec"))) = 0;

constexpr int kSignals[] = {SIGSEGV, SIGBUS};

struct Disposition {
    std::atomic<bool> ours{false};  // our handler is installed for the signal
    struct sigaction previous = {};  // what it replaced
};
Disposition g_dispositions[2];
std::mutex g_install_mutex;

Disposition& disposition_of(int sig) { return g_dispositions[sig == SIGSEGV ? 0 : 1]; }

bool is_handler(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO) ? action.sa_sigaction != nullptr
                                          : action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

void on_fault(int sig, siginfo_t* info, void* context) {
    // si_code > 0: raised by the kernel for the instruction that faulted, not sent by a process.
    const bool fault = info != nullptr && info->si_code > 0;
    if (fault && t_depth > 0) {
        // The handler is left by the throw, not by returning: unblock the signal ourselves.
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, sig);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        throw CKvSystemException(static_cast<uint32_t>(sig),
                                 static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info->si_addr)));
    }
    // Not ours: behave as if we were not here.
    Disposition& d = disposition_of(sig);
    const struct sigaction& previous = d.previous;
    if (is_handler(previous)) {
        if (previous.sa_flags & SA_SIGINFO) previous.sa_sigaction(sig, info, context);
        else previous.sa_handler(sig);
        return;
    }
    // Default or ignore: put it back. A fault then recurs at the same instruction and meets that
    // disposition; a sent signal is sent again (it stays pending until we return).
    sigaction(sig, &previous, nullptr);
    d.ours.store(false);
    if (!fault && previous.sa_handler == SIG_DFL) raise(sig);
}

void install() {
    std::lock_guard<std::mutex> lock(g_install_mutex);
    for (const int sig : kSignals) {
        Disposition& d = disposition_of(sig);
        if (d.ours.load()) continue;
        struct sigaction action = {};
        action.sa_sigaction = on_fault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        if (sigaction(sig, &action, &d.previous) == 0) d.ours.store(true);
    }
}

// When kv_exp is unloaded, the handler goes with it: give the signals back.
struct Uninstaller {
    ~Uninstaller() {
        std::lock_guard<std::mutex> lock(g_install_mutex);
        for (const int sig : kSignals) {
            Disposition& d = disposition_of(sig);
            struct sigaction current = {};
            if (!d.ours.load() || sigaction(sig, nullptr, &current) != 0) continue;
            if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == on_fault) sigaction(sig, &d.previous, nullptr);
            d.ours.store(false);
        }
    }
} g_uninstaller;

}  // namespace

CKvOsToCppExp::CKvOsToCppExp() : m_saved(t_depth) {
    if (!g_dispositions[0].ours.load() || !g_dispositions[1].ours.load()) install();
    t_depth = m_saved + 1;
}

CKvOsToCppExp::~CKvOsToCppExp() { t_depth = m_saved; }
