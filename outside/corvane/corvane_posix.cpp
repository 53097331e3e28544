// SPDX-License-Identifier: Apache-2.0
// A named lock is a Unix stream socket bound to the name "corvane-<name>" in Linux's abstract
// socket namespace. The name has no file: nobody can create it in advance, give it modes, or
// link it elsewhere. Binding succeeds for one socket at a time, and the kernel frees the name
// when that socket is closed, by its owner or by the end of its process. The socket never
// listens, so nobody can connect to a holder either.
#if !defined(__linux__)
#error "corvane's locks need Linux's abstract socket namespace"
#endif

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <new>

#include "corvane_lock.h"

namespace corvane {

struct LockName {
    sockaddr_un address;
    socklen_t size;
    int socket = -1;  // bound while held
};

namespace {

constexpr char kPrefix[] = "corvane-";
constexpr size_t kPrefixSize = sizeof kPrefix - 1;

}  // namespace

bool open_lock(const char* full_name, NativeLock* lock) {
    const size_t name_size = std::strlen(full_name);
    // The leading NUL is what makes the address abstract; the name is every byte after it, with
    // no terminator, so distinct names are distinct addresses.
    if (1 + kPrefixSize + name_size > sizeof(sockaddr_un::sun_path)) return false;
    LockName* const object = new (std::nothrow) LockName;
    if (object == nullptr) return false;
    std::memset(&object->address, 0, sizeof object->address);
    object->address.sun_family = AF_UNIX;
    std::memcpy(object->address.sun_path + 1, kPrefix, kPrefixSize);
    std::memcpy(object->address.sun_path + 1 + kPrefixSize, full_name, name_size);
    object->size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + kPrefixSize + name_size);
    *lock = object;
    return true;
}

Take try_take(NativeLock lock) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Take::refused;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&lock->address), lock->size) == 0) {
        lock->socket = fd;
        return Take::taken;
    }
    const int error = errno;
    ::close(fd);
    return error == EADDRINUSE ? Take::busy : Take::refused;
}

void release(NativeLock lock) {
    ::close(lock->socket);
    lock->socket = -1;
}

void close_lock(NativeLock lock) {
    if (lock->socket >= 0) release(lock);
    delete lock;
}

}  // namespace corvane
