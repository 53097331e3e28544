// SPDX-License-Identifier: Apache-2.0
// The exported members of CInterprocException and the copy assignment of the fault guard
// CKvOsToCppExp (its constructor and destructor belong to kv_exp). CKvBaseException and
// CKvSystemException are defined once, in kv_exp_exceptions.cpp, which this library compiles
// too.
#include "tarnwick.h"

#include <cstring>

CInterprocException::CInterprocException(const char* message) {
    size_t length = message != nullptr ? std::strlen(message) : 0;
    if (length > kMessageSize - 1) length = kMessageSize - 1;
    if (length != 0) std::memcpy(m_message, message, length);
    std::memset(m_message + length, 0, kMessageSize - length);
}

CInterprocException::CInterprocException(const CInterprocException& other) : CKvBaseException(other), MNew(other) {
    std::memcpy(m_message, other.m_message, kMessageSize);
}

CInterprocException::~CInterprocException() {}

CInterprocException& CInterprocException::operator=(const CInterprocException& other) {
    std::memmove(m_message, other.m_message, kMessageSize);
    return *this;
}

char* CInterprocException::Message() { return m_message; }

CKvOsToCppExp& CKvOsToCppExp::operator=(const CKvOsToCppExp& other) {
    m_saved = other.m_saved;
    return *this;
}
