// SPDX-License-Identifier: Apache-2.0
// The handle table against a plain map: handles added and removed in random order, many of
// them live at once, each found until it is removed and never after.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "file_system.h"
#include "handle_table.h"
#include "store.h"

namespace {

TEST(HandleTable, EveryLiveHandleFindsItsStoreAndNoOtherDoes) {
    cfg::HandleTable table;
    std::map<uint32_t, std::shared_ptr<cfg::Store>> model;
    std::vector<uint32_t> removed;
    std::mt19937 random(7);
    // Phases of growth and of shrinking, so that runs of probes form and are broken up again.
    for (const int target : {40, 5, 300, 0, 120}) {
        for (int step = 0; step < 3000; ++step) {
            const bool grow = model.size() < static_cast<size_t>(target) ? random() % 4 != 0 : random() % 4 == 0;
            if (grow || model.empty()) {
                auto store = std::make_shared<cfg::Store>(cfg::os_file_system());
                const uint32_t handle = table.add(store);
                ASSERT_NE(handle, 0u);
                ASSERT_EQ(model.count(handle), 0u) << "a handle issued twice";
                model[handle] = store;
            } else {
                auto it = model.begin();
                std::advance(it, static_cast<long>(random() % model.size()));
                ASSERT_TRUE(table.remove(it->first));
                EXPECT_FALSE(table.remove(it->first));
                removed.push_back(it->first);
                model.erase(it);
            }
        }
        for (const auto& [handle, store] : model) EXPECT_EQ(table.find(handle), store.get()) << handle;
        for (const uint32_t handle : removed) EXPECT_EQ(table.find(handle), nullptr) << handle;
    }
    EXPECT_EQ(table.find(0), nullptr);
    EXPECT_FALSE(table.remove(0));
}

TEST(HandleTable, AStoreOutlivesItsHandleWhileHeld) {
    cfg::HandleTable table;
    const uint32_t handle = table.add(std::make_shared<cfg::Store>(cfg::os_file_system()));
    const std::shared_ptr<cfg::Store> held = table.hold(handle);
    ASSERT_NE(held, nullptr);
    ASSERT_TRUE(table.remove(handle));
    EXPECT_EQ(table.find(handle), nullptr);
    EXPECT_EQ(table.hold(handle), nullptr);
    EXPECT_EQ(held.use_count(), 1);
}

// Lookups take no lock: while another thread adds and removes handles (which grows the table
// and moves entries along their runs), each long-lived handle is found, every time, and a
// removed one never is.
TEST(HandleTable, LookupsWithoutTheLockSeeEveryLiveHandleWhileOthersChange) {
    std::mt19937 random(11);
    long misses = 0;
    for (int round = 0; round < 40; ++round) {
        cfg::HandleTable table;
        std::vector<std::shared_ptr<cfg::Store>> stores;
        std::vector<uint32_t> handles;
        for (int i = 0; i < 6; ++i) {
            stores.push_back(std::make_shared<cfg::Store>(cfg::os_file_system()));
            handles.push_back(table.add(stores.back()));
        }
        std::atomic<bool> stop{false};
        std::atomic<long> missed{0};
        std::vector<std::thread> readers;
        for (int t = 0; t < 2; ++t)
            readers.emplace_back([&] {
                while (!stop.load())
                    for (size_t i = 0; i < handles.size(); ++i)
                        if (table.find(handles[i]) != stores[i].get()) ++missed;
            });
        std::vector<uint32_t> churn;
        for (int i = 0; i < 2000; ++i) churn.push_back(table.add(std::make_shared<cfg::Store>(cfg::os_file_system())));
        std::shuffle(churn.begin(), churn.end(), random);
        for (const uint32_t gone : churn) {
            table.remove(gone);
            if (table.find(gone) != nullptr) ++missed;
        }
        stop = true;
        for (std::thread& reader : readers) reader.join();
        misses += missed.load();
    }
    EXPECT_EQ(misses, 0);
}

}  // namespace
