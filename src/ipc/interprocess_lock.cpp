// SPDX-License-Identifier: Apache-2.0
#include "ipc/interprocess_lock.h"

#include "tarnwick.h"
#include "tarnwick/corvane.h"

namespace tw {

const char kLockNameRequired[] = "CInterProcessCriticalSection: requires a name";
const char kLockCreationFailed[] = "init_interprocess_critical_section: Unable to create mutex";

CInterProcessCriticalSection::CInterProcessCriticalSection(const char* name) : m_lock(0) {
    if (name == nullptr || name[0] == '\0') throw CInterprocException(kLockNameRequired);
    m_lock = init_interprocess_critical_section(name);
    if (m_lock == 0) throw CInterprocException(kLockCreationFailed);
}

CInterProcessCriticalSection::~CInterProcessCriticalSection() { Destroy(); }

void CInterProcessCriticalSection::Enter() { enter_interprocess_critical_section(m_lock); }

bool CInterProcessCriticalSection::TryEnter(uint32_t timeout_ms) {
    return try_enter_interprocess_critical_section(m_lock, timeout_ms) != 0;
}

void CInterProcessCriticalSection::Leave() { leave_interprocess_critical_section(m_lock); }

void CInterProcessCriticalSection::Destroy() {
    if (m_lock == 0) return;
    destroy_interprocess_critical_section(m_lock);
    m_lock = 0;
}

}  // namespace tw
