#include "handle_table.h"

#include <utility>

namespace cfg {

uint32_t HandleTable::add(std::shared_ptr<Store> store) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (issued_ == UINT32_MAX) return 0;
    ++issued_;
    // Multiplying by an odd constant permutes the 32-bit values and keeps 0 for 0 alone, so
    // handles stay unique and non-zero while not looking like small counters that a handle
    // of another library could equal by chance.
    const uint32_t handle = issued_ * 0x9E3779B1u;
    stores_.emplace(handle, std::move(store));
    return handle;
}

std::shared_ptr<Store> HandleTable::find(uint32_t handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = stores_.find(handle);
    return it == stores_.end() ? nullptr : it->second;
}

bool HandleTable::remove(uint32_t handle) {
    std::shared_ptr<Store> store;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = stores_.find(handle);
        if (it == stores_.end()) return false;
        store = std::move(it->second);
        stores_.erase(it);
    }
    // The store is released outside the lock.
    return true;
}

}  // namespace cfg
