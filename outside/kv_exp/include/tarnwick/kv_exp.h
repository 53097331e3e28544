/* SPDX-License-Identifier: Apache-2.0 */
/* kv_exp: turns operating-system faults into C++ exceptions inside a scope.
 *
 * While a CKvOsToCppExp is alive on a thread, an access violation raised by an instruction of
 * that thread (POSIX: SIGSEGV or SIGBUS raised by the kernel for the instruction; Windows:
 * EXCEPTION_ACCESS_VIOLATION) arrives as a thrown CKvSystemException, declared in tarnwick.h:
 * catch it by reference, as CKvSystemException or as CKvBaseException. Code() is the signal
 * number (POSIX) or exception code (Windows); Address() the faulting data address, truncated to
 * 32 bits. kv_exp throws a private copy of these classes that hosts and the attribute library
 * catch by name, so neither library needs the other. Guards nest; each restores on destruction
 * the state its constructor found, also when an exception unwinds past it.
 *
 * Outside every guard, and on threads without one, faults behave as they would without this
 * library: the first guard installs the handler (POSIX: for SIGSEGV and SIGBUS, passing any
 * other fault to the disposition it replaced; Windows: a vectored exception handler that lets
 * other faults pass), and a signal sent by a process (kill, raise) is never translated. Other
 * exceptions and signals (stack overflow among them) are not translated either.
 *
 * What can be translated: the fault must be unwound from like a throw at the faulting
 * instruction. Every frame between the fault and the catch needs unwind information that is
 * exact at the point where it stands, and a frame whose own instruction faults needs landing
 * pads that cover that instruction when it has destructors to run or is the frame that catches.
 * So compile code that may fault inside a guard with -fnon-call-exceptions
 * -fasynchronous-unwind-tables (the kv_exp CMake target passes both to its users); a fault in a
 * function without cleanups, built with unwind tables (x86-64 system libraries are), is passed
 * through. Further limits:
 * - The throw leaves the faulting code wherever it stood: locks it held stay held, half-made
 *   updates stay half-made. Guard only code that can be abandoned at any access.
 * - POSIX: the translation runs in the signal handler and allocates the exception; a fault
 *   inside the allocator itself may deadlock. A stack overflow is a SIGSEGV like any other: on
 *   a thread with an alternate signal stack it is translated, on one without, the process ends.
 * - Windows: the vectored handler runs before structured exception handlers, so a fault that
 *   the faulting code would have handled itself (IsBadReadPtr does) is translated all the same:
 *   keep such calls outside guards.
 * - 32-bit Windows (DWARF unwinding): only code built with GCC's call-frame information can be
 *   unwound. A fault in other code (system DLLs, other compilers) is left to the system as if no
 *   guard were open; a fault in GCC code reached through such frames (a callback from a system
 *   DLL) ends the process when the throw reaches them.
 */
#ifndef KV_EXP_H
#define KV_EXP_H

#include <stdint.h>

#ifdef __cplusplus

#if defined(_WIN32)
#  if defined(KV_EXP_BUILD)
#    define KV_EXP_API __declspec(dllexport)
#  else
#    define KV_EXP_API __declspec(dllimport)
#  endif
/* The guard's copy assignment is exported by the attribute library (whose build defines
 * KV_EXP_EXPORT_ASSIGNMENT), not by kv_exp. */
#  if defined(KV_EXP_EXPORT_ASSIGNMENT)
#    define KV_EXP_TW_API __declspec(dllexport)
#  elif defined(KV_EXP_BUILD)
#    define KV_EXP_TW_API
#  else
#    define KV_EXP_TW_API __declspec(dllimport)
#  endif
#else
#  define KV_EXP_API __attribute__((visibility("default")))
#  define KV_EXP_TW_API __attribute__((visibility("default")))
#endif

class CKvOsToCppExp {
public:
    /* Opens the scope on the calling thread (installing the handler on first use). */
    KV_EXP_API CKvOsToCppExp();
    /* Closes the scope, restoring the state found by the constructor. Guards on one thread are
     * closed in the reverse order of their opening (as scopes close them). */
    KV_EXP_API ~CKvOsToCppExp();
    /* Copies the saved state (exported by the attribute library). */
    KV_EXP_TW_API CKvOsToCppExp& operator=(const CKvOsToCppExp& other);

private:
    uint32_t m_saved; /* the thread's guard depth before this guard opened */
};

#endif /* __cplusplus */

#endif /* KV_EXP_H */
