/* SPDX-License-Identifier: Apache-2.0 */
// Between kv_exp_win.cpp and the per-instruction-set file (kv_exp_win_x86_64.cpp or
// kv_exp_win_i686.cpp).
#ifndef KV_EXP_WIN_H
#define KV_EXP_WIN_H

#include <windows.h>

#include <cstdint>

namespace kv_exp {

// Throws CKvSystemException(code, address). Entered from the frame that redirect_to_throw
// fabricates, as if the faulting instruction had called it.
[[noreturn]] void throw_fault(uint32_t code, uint32_t address) asm("kv_exp_throw_fault");

// Whether a fault at the context's instruction can be unwound from; false leaves it to the
// system, as if no guard were open.
bool can_unwind(const CONTEXT* context);

// Changes the context of a thread stopped at a faulting instruction so that, resumed, it
// calls throw_fault(code, address) from that instruction.
void redirect_to_throw(CONTEXT* context, uint32_t code, uint32_t address);

}  // namespace kv_exp

#endif
