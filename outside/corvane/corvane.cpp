// SPDX-License-Identifier: Apache-2.0
#include "tarnwick/corvane.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corvane_lock.h"

// The allocator is the C run-time heap of this one module, so that a block allocated in any
// module is released by the same heap.
extern "C" {

void* maw_malloc(size_t size) { return std::malloc(size ? size : 1); }

void* maw_realloc(void* block, size_t size) { return std::realloc(block, size ? size : 1); }

void maw_free(void* block) { std::free(block); }

}

namespace corvane {
namespace {

// A lock handle is (generation << kIndexBits) | (slot index + 1): never 0. A slot's generation
// changes each time it is freed, and a slot whose generation has taken every value is retired
// for good instead of starting again at 0, so a stale handle never names a later lock.
// 4095 slots of 2^20 generations: an init fails once a process has made about 4.3 billion
// handles, which is as many as 32 bits can tell apart.
constexpr unsigned kIndexBits = 12;
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr uint32_t kLastGeneration = (1u << (32 - kIndexBits)) - 1;
constexpr size_t kMaxSlots = kIndexMask;  // index + 1 must fit the index bits

enum class SlotState { free, used, retired };

struct Slot {
    NativeLock lock = nullptr;
    uint32_t generation = 0;
    uint32_t held = 0;  // enters not yet matched by a leave
    SlotState state = SlotState::free;
};

struct Table {
    std::mutex mutex;
    std::vector<Slot> slots;

    Slot* find(uint32_t handle) {
        const uint32_t index = handle & kIndexMask;
        if (index == 0 || index > slots.size()) return nullptr;
        Slot& slot = slots[index - 1];
        return slot.state == SlotState::used && slot.generation == handle >> kIndexBits ? &slot : nullptr;
    }
    uint32_t handle_of(const Slot& slot) const {
        return slot.generation << kIndexBits | static_cast<uint32_t>(&slot - slots.data() + 1);
    }
};

// Never destroyed: threads may still use their locks while the process exits.
Table& table() {
    static Table* t = new Table;
    return *t;
}

// The system tells nobody when a lock name is given back, so a waiter tries again after a
// pause that doubles from 1 ms up to kLongestPause: a lock left is taken again within that.
constexpr auto kLongestPause = std::chrono::milliseconds(32);

// Takes the lock, waiting at most timeout_ms when bounded. The clock is first read when the
// lock is found taken, so a free lock costs no clock read.
bool take(NativeLock lock, bool bounded, uint32_t timeout_ms) {
    std::chrono::steady_clock::duration pause = std::chrono::milliseconds(1);
    std::chrono::steady_clock::time_point deadline;
    bool timing = false;
    for (;;) {
        const Take result = try_take(lock);
        if (result != Take::busy) return result == Take::taken;
        std::chrono::steady_clock::duration sleep = pause;
        if (bounded) {
            const auto now = std::chrono::steady_clock::now();
            if (!timing) {
                deadline = now + std::chrono::milliseconds(timeout_ms);
                timing = true;
            }
            if (now >= deadline) return false;
            sleep = std::min(sleep, deadline - now);
        }
        std::this_thread::sleep_for(sleep);
        pause = std::min<std::chrono::steady_clock::duration>(pause * 2, kLongestPause);
    }
}

// The name the platform locks: CORVANE_LOCK_PREFIX (for tests, so that each can have locks of
// its own) followed by name.
std::string full_name(const char* name) {
    const char* const prefix = std::getenv("CORVANE_LOCK_PREFIX");
    return std::string(prefix != nullptr ? prefix : "") + name;
}

// Enters through handle, waiting as take does; false when the lock was not taken.
bool enter(uint32_t handle, bool bounded, uint32_t timeout_ms) {
    Table& t = table();
    NativeLock lock;
    {
        std::lock_guard<std::mutex> guard(t.mutex);
        Slot* slot = t.find(handle);
        if (slot == nullptr) return false;
        // Entering again through the handle that holds the lock nests, on every platform.
        if (slot->held > 0) {
            ++slot->held;
            return true;
        }
        lock = slot->lock;
    }
    // Waited for without the table's mutex, so that other locks stay usable meanwhile.
    if (!take(lock, bounded, timeout_ms)) return false;
    std::lock_guard<std::mutex> guard(t.mutex);
    Slot* slot = t.find(handle);
    if (slot == nullptr) return false;
    ++slot->held;
    return true;
}

}  // namespace
}  // namespace corvane

using namespace corvane;

extern "C" {

uint32_t init_interprocess_critical_section(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    NativeLock lock;
    try {
        if (!open_lock(full_name(name).c_str(), &lock)) return 0;
    } catch (...) {  // out of memory
        return 0;
    }
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    Slot* slot = nullptr;
    for (Slot& s : t.slots)
        if (s.state == SlotState::free) {
            slot = &s;
            break;
        }
    if (slot == nullptr) {
        if (t.slots.size() >= kMaxSlots) {
            close_lock(lock);
            return 0;
        }
        try {
            t.slots.emplace_back();
        } catch (...) {
            close_lock(lock);
            return 0;
        }
        slot = &t.slots.back();
    }
    slot->lock = lock;
    slot->held = 0;
    slot->state = SlotState::used;
    return t.handle_of(*slot);
}

void enter_interprocess_critical_section(uint32_t handle) {
    enter(handle, false, 0);
}

int32_t try_enter_interprocess_critical_section(uint32_t handle, uint32_t timeout_ms) {
    return enter(handle, true, timeout_ms) ? 1 : 0;
}

void leave_interprocess_critical_section(uint32_t handle) {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    Slot* slot = t.find(handle);
    if (slot == nullptr || slot->held == 0) return;
    if (--slot->held == 0) release(slot->lock);
}

void destroy_interprocess_critical_section(uint32_t handle) {
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    Slot* slot = t.find(handle);
    if (slot == nullptr) return;
    // A lock still held is released with it, so that other processes are not left waiting.
    close_lock(slot->lock);
    slot->lock = nullptr;
    slot->held = 0;
    if (slot->generation == kLastGeneration) {
        slot->state = SlotState::retired;
    } else {
        ++slot->generation;
        slot->state = SlotState::free;
    }
}

}  // extern "C"
