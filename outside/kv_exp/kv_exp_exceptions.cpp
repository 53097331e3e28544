// SPDX-License-Identifier: Apache-2.0
// Compiled into kv_exp (its private copy) and into the attribute library (the exported one,
// with tarnwick.h included first for its export attribute).
#include "tarnwick/kv_exp_exceptions.h"

CKvBaseException::CKvBaseException() {}

CKvBaseException::CKvBaseException(const CKvBaseException&) {}

CKvBaseException::~CKvBaseException() {}

CKvBaseException& CKvBaseException::operator=(const CKvBaseException&) { return *this; }

char* CKvBaseException::operator*() { return Message(); }

CKvSystemException::CKvSystemException(uint32_t code, uint32_t address) : m_code(code), m_address(address) {}

CKvSystemException::~CKvSystemException() {}

CKvSystemException& CKvSystemException::operator=(const CKvSystemException& other) {
    m_code = other.m_code;
    m_address = other.m_address;
    return *this;
}

char* CKvSystemException::Message() {
    // A constant text: the class has no room for a message of its own.
    static const char kText[] = "CKvSystemException: operating-system fault";
    return const_cast<char*>(kText);
}
