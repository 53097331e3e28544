#include "corvane.h"

#include <cstdlib>
#include <mutex>
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

// A lock handle is (generation << kIndexBits) | (slot index + 1): never 0, and a slot's
// generation changes each time it is freed, so a stale handle does not name its successor.
constexpr unsigned kIndexBits = 12;
constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
constexpr uint32_t kGenerationMask = (1u << (32 - kIndexBits)) - 1;
constexpr size_t kMaxSlots = kIndexMask;  // index + 1 must fit the index bits

struct Slot {
    NativeLock lock = 0;
    uint32_t generation = 0;
    uint32_t held = 0;  // enters not yet matched by a leave
    bool used = false;
};

struct Table {
    std::mutex mutex;
    std::vector<Slot> slots;

    Slot* find(uint32_t handle) {
        const uint32_t index = handle & kIndexMask;
        if (index == 0 || index > slots.size()) return nullptr;
        Slot& slot = slots[index - 1];
        return slot.used && slot.generation == handle >> kIndexBits ? &slot : nullptr;
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

// Enters through handle with acquire_lock(native lock) doing the wait; false when the lock was
// not taken.
template <typename Acquire>
bool enter(uint32_t handle, Acquire&& acquire_lock) {
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
    if (!acquire_lock(lock)) return false;
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
    if (!open_lock(name, &lock)) return 0;
    Table& t = table();
    std::lock_guard<std::mutex> guard(t.mutex);
    Slot* slot = nullptr;
    for (Slot& s : t.slots)
        if (!s.used) {
            slot = &s;
            break;
        }
    if (slot == nullptr) {
        if (t.slots.size() >= kMaxSlots) {
            close_lock(lock);
            return 0;
        }
        t.slots.emplace_back();
        slot = &t.slots.back();
    }
    slot->lock = lock;
    slot->held = 0;
    slot->used = true;
    return t.handle_of(*slot);
}

void enter_interprocess_critical_section(uint32_t handle) {
    enter(handle, [](NativeLock lock) { return acquire(lock); });
}

int32_t try_enter_interprocess_critical_section(uint32_t handle, uint32_t timeout_ms) {
    return enter(handle, [timeout_ms](NativeLock lock) { return acquire_within(lock, timeout_ms); }) ? 1 : 0;
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
    // A lock still held is released, so that other processes are not left waiting for it.
    if (slot->held > 0) release(slot->lock);
    close_lock(slot->lock);
    slot->used = false;
    slot->held = 0;
    slot->generation = (slot->generation + 1) & kGenerationMask;
}

}  // extern "C"
