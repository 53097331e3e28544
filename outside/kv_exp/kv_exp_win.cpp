// SPDX-License-Identifier: Apache-2.0
// Faults become exceptions through a vectored exception handler: on an access violation in a
// thread with a guard open, it resumes the thread in a frame that throws, built so that the
// unwinder continues from the faulting instruction into the code around it.
#include "kv_exp_win.h"

#include <mutex>

#include "tarnwick/kv_exp.h"
#include "tarnwick/kv_exp_exceptions.h"

namespace kv_exp {

void throw_fault(uint32_t code, uint32_t address) { throw CKvSystemException(code, address); }

}  // namespace kv_exp

namespace {

// Guards open per thread, in a TLS slot: reading it allocates nothing, so it is safe in the
// handler whatever the thread was doing.
DWORD g_depth_slot = TLS_OUT_OF_INDEXES;
PVOID g_handler = nullptr;
std::once_flag g_install_once;

uint32_t depth() {
    if (g_depth_slot == TLS_OUT_OF_INDEXES) return 0;
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(TlsGetValue(g_depth_slot)));
}

void set_depth(uint32_t value) {
    if (g_depth_slot != TLS_OUT_OF_INDEXES) TlsSetValue(g_depth_slot, reinterpret_cast<void*>(uintptr_t(value)));
}

LONG CALLBACK on_exception(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION) return EXCEPTION_CONTINUE_SEARCH;
    // TlsGetValue resets the thread's last error; the faulting code may still need it.
    const DWORD last_error = GetLastError();
    const bool guarded = depth() > 0;
    SetLastError(last_error);
    if (!guarded || !kv_exp::can_unwind(pointers->ContextRecord)) return EXCEPTION_CONTINUE_SEARCH;
    // ExceptionInformation[1] is the data address that could not be read or written.
    const ULONG_PTR address = record->NumberParameters >= 2 ? record->ExceptionInformation[1] : 0;
    kv_exp::redirect_to_throw(pointers->ContextRecord, record->ExceptionCode, static_cast<uint32_t>(address));
    return EXCEPTION_CONTINUE_EXECUTION;
}

void install() {
    g_depth_slot = TlsAlloc();
    if (g_depth_slot != TLS_OUT_OF_INDEXES) g_handler = AddVectoredExceptionHandler(1, on_exception);
}

// When kv_exp is unloaded, the handler goes with it.
struct Uninstaller {
    ~Uninstaller() {
        if (g_handler != nullptr) RemoveVectoredExceptionHandler(g_handler);
    }
} g_uninstaller;

}  // namespace

CKvOsToCppExp::CKvOsToCppExp() {
    std::call_once(g_install_once, install);
    m_saved = depth();
    set_depth(m_saved + 1);
}

CKvOsToCppExp::~CKvOsToCppExp() { set_depth(m_saved); }
