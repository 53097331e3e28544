// SPDX-License-Identifier: Apache-2.0
// A named lock is the named pipe "\\.\pipe\corvane-<name>", created as its first and only
// instance. The pipe namespace is one for the whole machine, every session included. Creation
// succeeds for one owner at a time, whatever any access list says, and the pipe disappears when
// its owner closes it or ends: there is no object that another account could create in
// advance and leave behind, as it could a Global\ mutex with an access list that denies
// others. The pipe's own access list is empty, so nobody can open its other end either.
#include <windows.h>

#include <cstring>
#include <new>
#include <string>

#include "corvane_lock.h"

namespace corvane {

struct LockName {
    std::string pipe;
    HANDLE held = INVALID_HANDLE_VALUE;
};

namespace {

// The longest pipe name, "\\.\pipe\" included.
constexpr size_t kMaxPipeName = 256;

}  // namespace

bool open_lock(const char* full_name, NativeLock* lock) {
    // A backslash would make the name a path.
    if (std::strchr(full_name, '\\') != nullptr) return false;
    LockName* const object = new (std::nothrow) LockName;
    if (object == nullptr) return false;
    try {
        object->pipe = std::string("\\\\.\\pipe\\corvane-") + full_name;
    } catch (...) {
        delete object;
        return false;
    }
    if (object->pipe.size() > kMaxPipeName) {
        delete object;
        return false;
    }
    *lock = object;
    return true;
}

Take try_take(NativeLock lock) {
    // An empty access list (not a missing one, which would grant everything): no client may
    // open the pipe. The owner needs no right: it holds the handle that creation returns.
    ACL empty_acl;
    SECURITY_DESCRIPTOR security;
    if (!InitializeAcl(&empty_acl, sizeof empty_acl, ACL_REVISION) ||
        !InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&security, TRUE, &empty_acl, FALSE))
        return Take::refused;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &security, FALSE};
    const HANDLE pipe = CreateNamedPipeA(lock->pipe.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_BYTE | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 0, 0, &attributes);
    if (pipe != INVALID_HANDLE_VALUE) {
        lock->held = pipe;
        return Take::taken;
    }
    // Windows answers a pipe that exists with ERROR_ACCESS_DENIED, Wine with ERROR_PIPE_BUSY.
    const DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY ? Take::busy : Take::refused;
}

void release(NativeLock lock) {
    CloseHandle(lock->held);
    lock->held = INVALID_HANDLE_VALUE;
}

void close_lock(NativeLock lock) {
    if (lock->held != INVALID_HANDLE_VALUE) release(lock);
    delete lock;
}

}  // namespace corvane
