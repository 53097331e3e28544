// SPDX-License-Identifier: Apache-2.0
// i686: exceptions unwind by DWARF call-frame information (GCC's DW2 model), which only code
// built with it carries; frames of system DLLs and other compilers have none.
#include "kv_exp_win.h"

extern "C" void kv_exp_fault_entry() asm("kv_exp_fault_entry");

// The shared libgcc's lookup of the call-frame information covering an address (exported by
// libgcc_s_dw2-1.dll; its declaration is internal to libgcc).
struct dwarf_eh_bases {
    void* tbase;
    void* dbase;
    void* func;
};
extern "C" const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);

// Entered with esp as at the fault, ecx = faulting instruction + 1, edx = code, eax = address.
// The push makes a return address into the faulting code, as a call from there would have: one
// past the faulting instruction's first byte. The unwinder looks up the call-frame information
// and the call-site table at the byte before a return address, and applies the frame rules of
// the locations up to it: so it lands on the faulting instruction itself (not on the one before,
// which may lie in another call-site region), with the frame state from before that
// instruction ran. kv_exp_fault_frame's call-frame information describes a plain framed
// function entered by a call; its frame pointer lets it realign the stack whatever esp the
// fault left.
asm(R"(
    .text
    .p2align 4
kv_exp_fault_entry:
    pushl %ecx
kv_exp_fault_frame:
    .cfi_startproc
    pushl %ebp
    .cfi_def_cfa_offset 8
    .cfi_offset %ebp, -8
    movl %esp, %ebp
    .cfi_def_cfa_register %ebp
    andl $-16, %esp
    subl $16, %esp
    movl %edx, (%esp)
    movl %eax, 4(%esp)
    call kv_exp_throw_fault
    int3
    .cfi_endproc
)");

namespace kv_exp {

// Only a fault in code with call-frame information can be unwound from; anywhere else the
// throw could not leave the faulting frame and would end the process.
bool can_unwind(const CONTEXT* context) {
    dwarf_eh_bases bases;
    return _Unwind_Find_FDE(reinterpret_cast<void*>(context->Eip), &bases) != nullptr;
}

void redirect_to_throw(CONTEXT* context, uint32_t code, uint32_t address) {
    context->Ecx = context->Eip + 1;
    context->Edx = code;
    context->Eax = address;
    context->Eip = reinterpret_cast<DWORD>(&kv_exp_fault_entry);
}

}  // namespace kv_exp
