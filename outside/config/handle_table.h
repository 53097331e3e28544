// cfg::HandleTable: maps the 32-bit handles of the C interface to stores. Safe to use from
// several threads. A handle is never issued twice, so a stale handle never reaches another
// store; 0 is never issued. After 2^32 - 1 handles the table issues no more (add returns 0).
#ifndef CONFIG_HANDLE_TABLE_H
#define CONFIG_HANDLE_TABLE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "store.h"

namespace cfg {

class HandleTable {
public:
    // Takes the store and returns its new handle, or 0 when no handle is left. May throw
    // std::bad_alloc, taking nothing then.
    uint32_t add(std::shared_ptr<Store> store);
    // The store of a live handle, or null. The store stays alive while the caller holds it,
    // even if the handle is removed meanwhile.
    std::shared_ptr<Store> find(uint32_t handle) const;
    // Forgets the handle; false when it was not live.
    bool remove(uint32_t handle);

private:
    // Open addressing with linear probing over a power-of-two array, at most half full; a
    // slot whose handle is 0 is free. Removal moves later entries of a probe run back, so no
    // slot is ever marked as deleted.
    struct Slot {
        uint32_t handle = 0;
        std::shared_ptr<Store> store;
    };

    size_t home(uint32_t handle) const { return static_cast<size_t>((handle * 0x85EBCA6Bu) >> shift_); }
    size_t index_of(uint32_t handle) const;  // the slot holding handle, or slots_.size()
    void grow();

    mutable std::mutex mutex_;
    std::vector<Slot> slots_;
    unsigned shift_ = 32;  // 32 - log2(slots_.size())
    size_t live_ = 0;
    uint32_t issued_ = 0;  // handles issued so far
};

}  // namespace cfg

#endif
