// The exported members of the exception classes. The constructor and destructor of the
// fault guard CKvOsToCppExp belong to kv_exp; only its copy assignment is defined here.
#include "tarnwick.h"

#include <cstring>

CKvBaseException::CKvBaseException() {}

CKvBaseException::CKvBaseException(const CKvBaseException&) {}

CKvBaseException::~CKvBaseException() {}

CKvBaseException& CKvBaseException::operator=(const CKvBaseException&) { return *this; }

char* CKvBaseException::operator*() { return Message(); }

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

CKvOsToCppExp& CKvOsToCppExp::operator=(const CKvOsToCppExp& other) {
    m_saved = other.m_saved;
    return *this;
}
