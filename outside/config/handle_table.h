// cfg::HandleTable: maps the 32-bit handles of the C interface to stores. Safe to use from
// several threads. A handle is never issued twice, so a stale handle never reaches another
// store; 0 is never issued. After 2^32 - 1 handles the table issues no more (add returns 0).
#ifndef CONFIG_HANDLE_TABLE_H
#define CONFIG_HANDLE_TABLE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "store.h"

namespace cfg {

class HandleTable {
public:
    // Takes the store and returns its new handle, or 0 when no handle is left.
    uint32_t add(std::shared_ptr<Store> store);
    // The store of a live handle, or null. The store stays alive while the caller holds it,
    // even if the handle is removed meanwhile.
    std::shared_ptr<Store> find(uint32_t handle) const;
    // Forgets the handle; false when it was not live.
    bool remove(uint32_t handle);

private:
    mutable std::mutex mutex_;
    std::unordered_map<uint32_t, std::shared_ptr<Store>> stores_;
    uint32_t issued_ = 0;  // handles issued so far
};

}  // namespace cfg

#endif
