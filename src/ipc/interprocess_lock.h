/* SPDX-License-Identifier: Apache-2.0 */
// The machine-wide named lock, owned by one object on the stack of the call that needs it.
#ifndef TARNWICK_IPC_INTERPROCESS_LOCK_H
#define TARNWICK_IPC_INTERPROCESS_LOCK_H

#include <cstdint>

namespace tw {

extern const char kLockNameRequired[];    // message for a null or empty lock name
extern const char kLockCreationFailed[];  // message when corvane cannot create the lock

// Owns one handle of a named lock shared by every process of the machine that uses the name.
class CInterProcessCriticalSection {
public:
    // Opens (creating on first use) the lock of that name without taking it. Throws
    // CInterprocException with kLockNameRequired for a null or empty name, and with
    // kLockCreationFailed when the lock cannot be created; nothing is held then.
    explicit CInterProcessCriticalSection(const char* name);
    // Destroy().
    ~CInterProcessCriticalSection();

    CInterProcessCriticalSection(const CInterProcessCriticalSection&) = delete;
    CInterProcessCriticalSection& operator=(const CInterProcessCriticalSection&) = delete;

    // Returns once this process holds the lock, waiting as long as another holder has it.
    void Enter();
    // Like Enter(), but waits at most timeout_ms milliseconds; false, holding nothing, when the
    // lock was not taken in that time.
    bool TryEnter(uint32_t timeout_ms);
    // Releases the lock taken by Enter() or TryEnter(). Enter and Leave do not nest.
    void Leave();
    // Releases the handle; harmless when already destroyed.
    void Destroy();

private:
    uint32_t m_lock;
};

// Holds a lock taken by TryEnter for one scope, when it was taken.
class CInterProcessTimedLockHolder {
public:
    CInterProcessTimedLockHolder(CInterProcessCriticalSection& lock, uint32_t timeout_ms)
        : m_lock(lock), m_held(lock.TryEnter(timeout_ms)) {}
    ~CInterProcessTimedLockHolder() {
        if (m_held) m_lock.Leave();
    }
    bool held() const { return m_held; }

    CInterProcessTimedLockHolder(const CInterProcessTimedLockHolder&) = delete;
    CInterProcessTimedLockHolder& operator=(const CInterProcessTimedLockHolder&) = delete;

private:
    CInterProcessCriticalSection& m_lock;
    bool m_held;
};

// Holds an entered lock for one scope, so that an early return or an exception leaves it.
class CInterProcessLockHolder {
public:
    explicit CInterProcessLockHolder(CInterProcessCriticalSection& lock) : m_lock(lock) { m_lock.Enter(); }
    ~CInterProcessLockHolder() { m_lock.Leave(); }

    CInterProcessLockHolder(const CInterProcessLockHolder&) = delete;
    CInterProcessLockHolder& operator=(const CInterProcessLockHolder&) = delete;

private:
    CInterProcessCriticalSection& m_lock;
};

}  // namespace tw

#endif
