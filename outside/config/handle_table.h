/* SPDX-License-Identifier: Apache-2.0 */
// cfg::HandleTable: maps the 32-bit handles of the C interface to stores. Safe to use from
// several threads. A handle is never issued twice, so a stale handle never reaches another
// store; 0 is never issued. After 2^32 - 1 handles the table issues no more (add returns 0).
#ifndef CONFIG_HANDLE_TABLE_H
#define CONFIG_HANDLE_TABLE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "store.h"

namespace cfg {

class HandleTable {
public:
    HandleTable();
    ~HandleTable();
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // Takes the store and returns its new handle, or 0 when no handle is left. May throw
    // std::bad_alloc, taking nothing then.
    uint32_t add(std::shared_ptr<Store> store);
    // The store of a live handle, or null; takes no lock and writes no shared memory. The
    // store lives until the handle is removed, which only the thread using the handle may do
    // (one handle, one thread at a time): so it lives for the caller's call.
    Store* find(uint32_t handle) const;
    // The same, held: the store stays alive while the caller holds it, even if the handle is
    // removed meanwhile (by a visitor that the call runs, say). Takes the table's lock.
    std::shared_ptr<Store> hold(uint32_t handle) const;
    // Forgets the handle; false when it was not live. The store is released unless held.
    bool remove(uint32_t handle);

private:
    // Readers probe an open-addressing array (linear probing, power-of-two size, at most half
    // full, 0 marks a free slot) without the lock, and check a version counter that every
    // change makes odd while it is under way: a probe that overlapped a change is made again,
    // and after a few tries under the lock. An array replaced by a larger one stays allocated
    // until the table ends, since a reader may still be probing it; the arrays double, so
    // together they take less than the current one. Against a lookup under the mutex this
    // saves 9 to 14 % of a config_get_attrib on both targets (bench/RESULTS.md).
    struct Slot {
        std::atomic<uint32_t> handle{0};
        std::atomic<Store*> store{nullptr};
    };
    struct Array {
        explicit Array(unsigned log2_size);
        size_t home(uint32_t handle) const { return static_cast<size_t>((handle * 0x85EBCA6Bu) >> shift); }
        Store* lookup(uint32_t handle) const;
        void insert(uint32_t handle, Store* store);
        bool erase(uint32_t handle);

        size_t mask;
        unsigned shift;  // 32 - log2(size)
        std::unique_ptr<Slot[]> slots;
    };

    void begin_change();
    void end_change();

    mutable std::mutex mutex_;  // writers, and hold()
    std::atomic<uint32_t> version_{0};  // odd while a change is under way
    std::atomic<Array*> array_;
    std::vector<std::unique_ptr<Array>> arrays_;  // the current one last
    std::unordered_map<uint32_t, std::shared_ptr<Store>> owners_;
    uint32_t issued_ = 0;  // handles issued so far
};

}  // namespace cfg

#endif
