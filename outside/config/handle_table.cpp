// SPDX-License-Identifier: Apache-2.0
#include "handle_table.h"

#include <utility>

namespace cfg {

HandleTable::Array::Array(unsigned log2_size)
    : mask((size_t{1} << log2_size) - 1), shift(32 - log2_size), slots(new Slot[mask + 1]) {}

Store* HandleTable::Array::lookup(uint32_t handle) const {
    // Bounded, since a change under way may leave no free slot in the way for a moment.
    size_t i = home(handle);
    for (size_t n = 0; n <= mask; ++n, i = (i + 1) & mask) {
        const uint32_t h = slots[i].handle.load(std::memory_order_relaxed);
        if (h == handle) return slots[i].store.load(std::memory_order_relaxed);
        if (h == 0) return nullptr;
    }
    return nullptr;
}

void HandleTable::Array::insert(uint32_t handle, Store* store) {
    size_t i = home(handle);
    while (slots[i].handle.load(std::memory_order_relaxed) != 0) i = (i + 1) & mask;
    slots[i].store.store(store, std::memory_order_relaxed);
    slots[i].handle.store(handle, std::memory_order_relaxed);
}

bool HandleTable::Array::erase(uint32_t handle) {
    size_t hole = home(handle);
    for (;; hole = (hole + 1) & mask) {
        const uint32_t h = slots[hole].handle.load(std::memory_order_relaxed);
        if (h == handle) break;
        if (h == 0) return false;
    }
    // Close the hole: an entry further along the run moves into it unless its home lies
    // (cyclically) after the hole and no later than the entry itself.
    for (size_t j = (hole + 1) & mask;; j = (j + 1) & mask) {
        const uint32_t h = slots[j].handle.load(std::memory_order_relaxed);
        if (h == 0) break;
        const size_t k = home(h);
        const bool stays = hole <= j ? (hole < k && k <= j) : (hole < k || k <= j);
        if (stays) continue;
        slots[hole].store.store(slots[j].store.load(std::memory_order_relaxed), std::memory_order_relaxed);
        slots[hole].handle.store(h, std::memory_order_relaxed);
        hole = j;
    }
    slots[hole].handle.store(0, std::memory_order_relaxed);
    slots[hole].store.store(nullptr, std::memory_order_relaxed);
    return true;
}

HandleTable::HandleTable() {
    arrays_.push_back(std::make_unique<Array>(4));
    array_.store(arrays_.back().get(), std::memory_order_release);
}

HandleTable::~HandleTable() = default;

void HandleTable::begin_change() {
    version_.store(version_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
}

void HandleTable::end_change() {
    version_.store(version_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

uint32_t HandleTable::add(std::shared_ptr<Store> store) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (issued_ == UINT32_MAX) return 0;
    Array* array = array_.load(std::memory_order_relaxed);
    // Everything that may throw comes before the first change.
    const bool grow = 2 * (owners_.size() + 1) > array->mask + 1;
    if (grow) {
        unsigned log2_size = 32 - array->shift + 1;
        arrays_.reserve(arrays_.size() + 1);
        arrays_.push_back(std::make_unique<Array>(log2_size));
    }
    ++issued_;
    // Multiplying by an odd constant permutes the 32-bit values and keeps 0 for 0 alone, so
    // handles stay unique and non-zero while not looking like small counters that a handle
    // of another library could equal by chance.
    const uint32_t handle = issued_ * 0x9E3779B1u;
    Store* const raw = store.get();
    try {
        owners_.emplace(handle, std::move(store));
    } catch (...) {
        if (grow) arrays_.pop_back();
        throw;
    }
    begin_change();
    if (grow) {
        Array* const larger = arrays_.back().get();
        for (const auto& [h, owner] : owners_)
            if (h != handle) larger->insert(h, owner.get());
        array_.store(larger, std::memory_order_release);
        array = larger;
    }
    array->insert(handle, raw);
    end_change();
    return handle;
}

Store* HandleTable::find(uint32_t handle) const {
    if (handle == 0) return nullptr;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const uint32_t before = version_.load(std::memory_order_acquire);
        if (before & 1) continue;
        Store* const found = array_.load(std::memory_order_acquire)->lookup(handle);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (version_.load(std::memory_order_relaxed) == before) return found;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return array_.load(std::memory_order_relaxed)->lookup(handle);
}

std::shared_ptr<Store> HandleTable::hold(uint32_t handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = owners_.find(handle);
    return it == owners_.end() ? nullptr : it->second;
}

bool HandleTable::remove(uint32_t handle) {
    std::shared_ptr<Store> store;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = owners_.find(handle);
        if (it == owners_.end()) return false;
        store = std::move(it->second);
        owners_.erase(it);
        begin_change();
        array_.load(std::memory_order_relaxed)->erase(handle);
        end_change();
    }
    // The store is released outside the lock.
    return true;
}

}  // namespace cfg
