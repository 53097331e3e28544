#include "handle_table.h"

#include <utility>

namespace cfg {

size_t HandleTable::index_of(uint32_t handle) const {
    if (slots_.empty() || handle == 0) return slots_.size();
    const size_t mask = slots_.size() - 1;
    for (size_t i = home(handle);; i = (i + 1) & mask) {
        if (slots_[i].handle == handle) return i;
        if (slots_[i].handle == 0) return slots_.size();
    }
}

void HandleTable::grow() {
    const size_t size = slots_.empty() ? 16 : 2 * slots_.size();
    std::vector<Slot> old(size);  // allocated first: a failure leaves the table as it was
    std::swap(slots_, old);
    shift_ = 32;
    for (size_t s = size; s > 1; s /= 2) --shift_;
    const size_t mask = size - 1;
    for (Slot& entry : old) {
        if (entry.handle == 0) continue;
        size_t i = home(entry.handle);
        while (slots_[i].handle != 0) i = (i + 1) & mask;
        slots_[i] = std::move(entry);
    }
}

uint32_t HandleTable::add(std::shared_ptr<Store> store) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (issued_ == UINT32_MAX) return 0;
    if (2 * (live_ + 1) > slots_.size()) grow();
    ++issued_;
    // Multiplying by an odd constant permutes the 32-bit values and keeps 0 for 0 alone, so
    // handles stay unique and non-zero while not looking like small counters that a handle
    // of another library could equal by chance.
    const uint32_t handle = issued_ * 0x9E3779B1u;
    const size_t mask = slots_.size() - 1;
    size_t i = home(handle);
    while (slots_[i].handle != 0) i = (i + 1) & mask;
    slots_[i].handle = handle;
    slots_[i].store = std::move(store);
    ++live_;
    return handle;
}

std::shared_ptr<Store> HandleTable::find(uint32_t handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t i = index_of(handle);
    return i == slots_.size() ? nullptr : slots_[i].store;
}

bool HandleTable::remove(uint32_t handle) {
    std::shared_ptr<Store> store;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t hole = index_of(handle);
        if (hole == slots_.size()) return false;
        store = std::move(slots_[hole].store);
        // Close the hole: an entry further along the run moves into it unless its home lies
        // (cyclically) after the hole and no later than the entry itself.
        const size_t mask = slots_.size() - 1;
        for (size_t j = (hole + 1) & mask; slots_[j].handle != 0; j = (j + 1) & mask) {
            const size_t k = home(slots_[j].handle);
            const bool stays = hole <= j ? (hole < k && k <= j) : (hole < k || k <= j);
            if (stays) continue;
            slots_[hole] = std::move(slots_[j]);
            hole = j;
        }
        slots_[hole].handle = 0;
        slots_[hole].store.reset();
        --live_;
    }
    // The store is released outside the lock.
    return true;
}

}  // namespace cfg
