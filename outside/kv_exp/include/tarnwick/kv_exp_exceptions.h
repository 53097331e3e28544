/* SPDX-License-Identifier: Apache-2.0 */
/* CKvBaseException and CKvSystemException, declared once for two libraries.
 *
 * The attribute library exports them: tarnwick.h defines KV_EXCEPTION_API as its export
 * attribute and includes this header, and hosts see them there. kv_exp compiles its own private
 * copy from the same declarations and the same definitions (kv_exp_exceptions.cpp, with
 * KV_EXCEPTION_API empty: hidden, never exported), so that it can throw CKvSystemException
 * without linking the attribute library. GCC matches exception types across modules by their
 * mangled names, so what kv_exp throws is caught as the exported class. Tests compile
 * kv_exp_exceptions.cpp into their own program to catch it the way a host does.
 */
#ifndef KV_EXP_EXCEPTIONS_H
#define KV_EXP_EXCEPTIONS_H

#include <stdint.h>

#ifndef KV_EXCEPTION_API
#define KV_EXCEPTION_API
#endif

/* The root of the library's exceptions. Catch them by reference; the message text belongs to
 * the exception object. */
class KV_EXCEPTION_API CKvBaseException {
public:
    CKvBaseException();
    CKvBaseException(const CKvBaseException& other);
    virtual ~CKvBaseException();
    /* Copies nothing: the base has no state. */
    CKvBaseException& operator=(const CKvBaseException& other);
    /* The message text (calls Message()). */
    char* operator*();
    /* The message text, NUL-terminated, owned by the exception. */
    virtual char* Message() = 0;
};

/* An operating-system fault raised inside a CKvOsToCppExp scope. code: the platform's fault
 * code (Windows exception code, POSIX signal number); address: the faulting data address,
 * truncated to 32 bits. The message text is constant and must not be modified. */
class KV_EXCEPTION_API CKvSystemException : public CKvBaseException {
public:
    CKvSystemException(uint32_t code, uint32_t address);
    virtual ~CKvSystemException();
    /* Copies both values. */
    CKvSystemException& operator=(const CKvSystemException& other);
    virtual char* Message();
    uint32_t Code() const { return m_code; }
    uint32_t Address() const { return m_address; }

private:
    uint32_t m_code;
    uint32_t m_address;
};

#endif /* KV_EXP_EXCEPTIONS_H */
