// SPDX-License-Identifier: Apache-2.0
// The exported entry points other than the path query, and the opening procedure.
#include "attribs/handle.h"

#include <cstring>

#include "attribs/locate.h"
#include "attribs/schema.h"
#include "caller_buffer.h"
#include "ipc/interprocess_lock.h"
#include "scramble/scramble.h"
#include "tarnwick/corvane.h"
#include "tarnwick/plinth32.h"

namespace tw {

const char kInitLockName[] = TARNWICK_INIT_LOCK_NAME;

namespace {

// Releases a block of the opening's allocator unless it is handed over.
class Block {
public:
    Block(const Allocator& allocator, size_t size) : release_(allocator.release), block_(allocator.allocate(size)) {}
    ~Block() {
        if (block_ != nullptr) release_(block_);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    void* get() const { return block_; }
    void* release() {
        void* block = block_;
        block_ = nullptr;
        return block;
    }

private:
    void (*release_)(void*);
    void* block_;
};

// Owns a store until it is handed over to a handle.
class StoreOwner {
public:
    StoreOwner() : cfg_(new_config()) {}
    ~StoreOwner() {
        if (cfg_ != 0) delete_config(cfg_);
    }
    StoreOwner(const StoreOwner&) = delete;
    StoreOwner& operator=(const StoreOwner&) = delete;

    config_handle get() const { return cfg_; }
    config_handle release() {
        const config_handle cfg = cfg_;
        cfg_ = 0;
        return cfg;
    }

private:
    config_handle cfg_;
};

// The path opening works on: the caller's own text, or what locating produced (which may be
// a block of its own, released here).
class LocatedPath {
public:
    LocatedPath() = default;
    ~LocatedPath() {
        if (allocated) maw_free(path);
    }
    LocatedPath(const LocatedPath&) = delete;
    LocatedPath& operator=(const LocatedPath&) = delete;

    char* path = nullptr;
    bool allocated = false;
};

// Finds the file to open when the host names none. default_path: kDefaultPathSize bytes of
// the caller's; located takes over a path that locating allocated.
int32_t locate_default_file(char* default_path, LocatedPath& located) {
    return locate_attrib_file(default_path, &located.path, &located.allocated);
}

// Loads an existing file into the store and completes it with the missing keys (which saves
// it). The result is the load's; completion's result does not change it.
int32_t load_existing_file(config_handle cfg, const char* path) {
    const int32_t rc = config_add_ini_file_source(cfg, path);
    if (rc != CONFIG_OK) return rc;
    complete_attribs(cfg, path);
    return ATTRIB_MNGR_OK;
}

// Registers a file that does not exist yet, fills it with every default and writes it at
// once, so that other processes waiting on the lock find it complete.
int32_t create_new_file(config_handle cfg, const char* path) {
    const int32_t rc = config_add_ini_new_file_source(cfg, path);
    if (rc != CONFIG_OK) return rc;
    set_default_attribs(cfg, path);
    return config_save(cfg, path, 0);
}

// Loads the file when it exists, else creates it. Saves through handles that are already open
// happen outside the lock, so the file may appear between the test and the add, or be briefly
// absent while another process replaces it: the test is then made again, a few times, so
// that a file another process just wrote is completed rather than refused or replaced by a
// file of defaults. Something other than a file in the way (a directory) is no race: its
// error stands. A file that another user may have planted is refused by the store's load,
// which judges the very file it reads; a host has always known that refusal by our own code.
int32_t open_or_create_file(config_handle cfg, const char* path) {
    constexpr int kAttempts = 8;
    int32_t rc = ATTRIB_MNGR_OK;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const bool exists = os_is_file_exist(path) != 0;
        rc = exists ? load_existing_file(cfg, path) : create_new_file(cfg, path);
        const bool raced = exists ? rc == CONFIG_E_NOT_FOUND : rc == CONFIG_E_EXISTS && os_is_file_exist(path) != 0;
        if (!raced) break;
    }
    return rc == CONFIG_E_UNTRUSTED ? ATTRIB_MNGR_UNTRUSTED_FILE : rc;
}

}  // namespace

int32_t open_attrib_mngr(const char* path, AttribMngr** mngr, const Allocator& allocator, uint32_t lock_timeout_ms) {
    if (mngr == nullptr) return ATTRIB_MNGR_NULL_ARGUMENT;

    StoreOwner store;
    if (store.get() == 0) return ATTRIB_MNGR_NO_CONFIG;

    // An explicit path is used as given: no product name, environment or directory creation.
    char default_path[kDefaultPathSize];
    LocatedPath located;
    if (path != nullptr) {
        located.path = const_cast<char*>(path);
    } else {
        const int32_t rc = locate_default_file(default_path, located);
        if (rc != ATTRIB_MNGR_OK) return rc;
    }

    // The handle's blocks are taken before the file is touched, so that running out of
    // memory leaves the disk as it was.
    const size_t path_size = std::strlen(located.path) + 1;
    Block handle(allocator, sizeof(AttribMngr));
    if (handle.get() == nullptr) return ATTRIB_MNGR_NO_MEMORY;
    Block filename(allocator, path_size);
    if (filename.get() == nullptr) return ATTRIB_MNGR_NO_MEMORY;
    char* const file = static_cast<char*>(filename.get());
    std::memcpy(file, located.path, path_size);

    // Loading or creating the file happens inside the machine-wide lock, for explicit paths
    // too, so that concurrent openers never see a half-made file. The lock's constructor may
    // throw; everything taken so far is released on the way out. Any local user can hold the
    // lock, so the wait for it is bounded.
    int32_t rc;
    {
        CInterProcessCriticalSection lock(kInitLockName);
        CInterProcessTimedLockHolder held(lock, lock_timeout_ms);
        rc = held.held() ? open_or_create_file(store.get(), file) : ATTRIB_MNGR_LOCK_TIMEOUT;
    }
    if (rc != ATTRIB_MNGR_OK) return rc;

    AttribMngr* const result = static_cast<AttribMngr*>(handle.release());
    result->config = store.release();
    result->filename = static_cast<char*>(filename.release());
    *mngr = result;
    return ATTRIB_MNGR_OK;
}

}  // namespace tw

extern "C" {

int32_t attrib_mngr_init(const char* path, AttribMngr** mngr) {
    return tw::open_attrib_mngr(path, mngr, tw::Allocator{maw_malloc, maw_free});
}

int32_t attrib_mngr_get_attrib(AttribMngr* mngr, const char* name, char* buffer, int32_t* size, uint32_t flags) {
    if (mngr == nullptr) return ATTRIB_MNGR_NULL_HANDLE;
    if (size == nullptr) return ATTRIB_MNGR_NULL_ARGUMENT;
    if (name == nullptr) return ATTRIB_MNGR_NOT_FOUND;
    // By key alone, whatever section holds it.
    const char* stored = config_get_attrib(mngr->config, name);
    if (stored == nullptr) return ATTRIB_MNGR_NOT_FOUND;
    if (flags & ATTRIB_MNGR_FLAG_SCRAMBLED) return tw::get_scrambled_attrib(mngr->config, name, stored, buffer, size);
    return tw::copy_to_caller(stored, std::strlen(stored), buffer, size);
}

int32_t attrib_mngr_set_attrib(AttribMngr* mngr, const char* section, const char* key, const char* value,
                               uint32_t flags) {
    if (mngr == nullptr) return ATTRIB_MNGR_NULL_HANDLE;
    // One code for a null argument, scrambled or not (a null scrambled value is a stored
    // missing value, see the flag).
    if (section == nullptr || key == nullptr) return ATTRIB_MNGR_NULL_ARGUMENT;
    if (flags & ATTRIB_MNGR_FLAG_SCRAMBLED)
        return tw::set_scrambled_attrib(mngr->config, mngr->filename, section, key, value);
    if (value == nullptr) return ATTRIB_MNGR_NULL_ARGUMENT;
    return config_set_attrib(mngr->config, mngr->filename, section, key, value);
}

int32_t attrib_mngr_save_attribs(AttribMngr* mngr) {
    if (mngr == nullptr) return ATTRIB_MNGR_NULL_HANDLE;
    return config_save(mngr->config, mngr->filename, 0);
}

const char* attrib_mngr_get_filename(AttribMngr* mngr) { return mngr != nullptr ? mngr->filename : nullptr; }

void delete_attribs_mngr(AttribMngr* mngr) {
    if (mngr == nullptr) return;
    maw_free(mngr->filename);
    delete_config(mngr->config);
    maw_free(mngr);
}

}  // extern "C"
