// A named lock is a mutex in the Global\ namespace, shared by every session and account.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "corvane.h"
#include "corvane_lock.h"

namespace corvane {
namespace {

// What a lock's users need, and all that the security descriptor grants them.
constexpr DWORD kLockRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;
// Authenticated Users may wait on the mutex and release it, nothing more.
constexpr char kLockSecurity[] = "D:(A;;0x00100001;;;AU)";
static_assert((SYNCHRONIZE | MUTEX_MODIFY_STATE) == 0x00100001, "rights in kLockSecurity");

HANDLE handle_of(NativeLock lock) { return reinterpret_cast<HANDLE>(lock); }

}  // namespace

bool open_lock(const char* name, NativeLock* lock) {
    // Always the global name: a session-local fallback would split one lock into two.
    const std::string global = std::string("Global\\") + name;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kLockSecurity, SDDL_REVISION_1, &security, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, security, FALSE};
    // Creates the mutex, or opens the existing one asking for no more than kLockRights. A name
    // held by another kind of object fails here.
    HANDLE mutex = CreateMutexExA(&attributes, global.c_str(), 0, kLockRights);
    const DWORD error = GetLastError();
    LocalFree(security);
    // Creating in the namespace may be denied where opening is not.
    if (mutex == nullptr && error == ERROR_ACCESS_DENIED) mutex = OpenMutexA(kLockRights, FALSE, global.c_str());
    if (mutex == nullptr) return false;
    *lock = reinterpret_cast<NativeLock>(mutex);
    return true;
}

bool acquire(NativeLock lock) {
    // An abandoned mutex (its holder ended without releasing it) is ours all the same.
    const DWORD result = WaitForSingleObject(handle_of(lock), INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool acquire_within(NativeLock lock, uint32_t timeout_ms) {
    // INFINITE is the one value that would wait for ever.
    const DWORD wait = timeout_ms == INFINITE ? INFINITE - 1 : timeout_ms;
    const DWORD result = WaitForSingleObject(handle_of(lock), wait);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void release(NativeLock lock) { ReleaseMutex(handle_of(lock)); }

void close_lock(NativeLock lock) { CloseHandle(handle_of(lock)); }

}  // namespace corvane
