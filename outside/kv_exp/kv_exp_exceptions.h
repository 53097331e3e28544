// kv_exp's own copy of the exception classes that include/tarnwick.h declares publicly.
//
// kv_exp must not link the attribute library, yet what it throws must be caught by hosts and by
// that library as CKvSystemException / CKvBaseException. GCC matches exception types across
// modules by their mangled names, so this copy keeps the public declaration's names, bases,
// members and virtual functions in the same order, and stays private to kv_exp (hidden
// visibility; never exported). Keep it in step with tarnwick.h. Tests compile
// kv_exp_exceptions.cpp into their own program to catch it the way a host does.
#ifndef KV_EXP_EXCEPTIONS_H
#define KV_EXP_EXCEPTIONS_H

#include <cstdint>

class CKvBaseException {
public:
    CKvBaseException();
    CKvBaseException(const CKvBaseException& other);
    virtual ~CKvBaseException();
    CKvBaseException& operator=(const CKvBaseException& other);
    char* operator*();
    virtual char* Message() = 0;
};

class CKvSystemException : public CKvBaseException {
public:
    // code: the platform's fault code (Windows exception code, POSIX signal number); address:
    // the faulting data address, truncated to 32 bits.
    CKvSystemException(uint32_t code, uint32_t address);
    virtual ~CKvSystemException();
    CKvSystemException& operator=(const CKvSystemException& other);
    virtual char* Message();
    uint32_t Code() const { return m_code; }
    uint32_t Address() const { return m_address; }

private:
    uint32_t m_code;
    uint32_t m_address;
};

#endif
