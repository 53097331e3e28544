// SPDX-License-Identifier: Apache-2.0
// x86-64: exceptions unwind by the system's table-driven unwinder (SEH), which finds every
// frame through the .pdata/.xdata tables of its module.
#include "kv_exp_win.h"

extern "C" void kv_exp_fault_entry() asm("kv_exp_fault_entry");

// Entered with rsp as at the fault, rcx = faulting instruction + 1, edx = code, r8d = address.
// The push makes a return address into the faulting code, as a call from there would have: one
// byte into the faulting instruction, so that the unwinders (which look up the byte before a
// return address) land on it and not on the instruction before, which may lie in another
// call-site region. Instructions that fault on data are longer than one byte (bar string
// instructions without a rep prefix, which compilers hardly emit), so that address lies inside
// the faulting function. The system unwinder also decodes the bytes there to see whether they
// are an epilogue; from the middle of an instruction a false match would need a byte sequence
// that is a valid epilogue (pops, then ret), which data-access encodings practically never give.
// kv_exp_fault_frame is then an ordinary framed function with unwind data of its own; its
// frame pointer lets it realign the stack whatever rsp the fault left.
asm(R"(
    .text
    .p2align 4
kv_exp_fault_entry:
    pushq %rcx
    .seh_proc kv_exp_fault_frame
kv_exp_fault_frame:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    andq $-16, %rsp
    subq $32, %rsp
    movl %edx, %ecx
    movl %r8d, %edx
    call kv_exp_throw_fault
    int3
    .seh_endproc
)");

namespace kv_exp {

// Any frame can be unwound: functions without unwind data are leaves, unwound by their return
// address at rsp.
bool can_unwind(const CONTEXT*) { return true; }

void redirect_to_throw(CONTEXT* context, uint32_t code, uint32_t address) {
    context->Rcx = context->Rip + 1;
    context->Rdx = code;
    context->R8 = address;
    context->Rip = reinterpret_cast<DWORD64>(&kv_exp_fault_entry);
}

}  // namespace kv_exp
