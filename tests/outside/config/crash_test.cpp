// SPDX-License-Identifier: Apache-2.0
// A process killed while it saves, over and over: the file it saves is always whole (the old
// content or the new), keeps what the platform records about it, and is never lost.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "child_process.h"
#include "crash_support.h"
#include "event_log.h"
#include "files.h"

namespace {

TEST(CrashSafety, AKilledSaveLeavesTheOldFileOrTheNew) {
    constexpr size_t kValueSize = 1 << 20;
    constexpr int kKills = 50;
    twtest::ScratchDir dir;
    const std::string path = dir.path("agent.cfg");
    const std::string with_a = "[Agent]\nValue = " + std::string(kValueSize, 'A') + "\n";
    const std::string with_b = "[Agent]\nValue = " + std::string(kValueSize, 'B') + "\n";
    twtest::write_file(path, with_a);
    ASSERT_TRUE(crashtest::mark_file(path));
    const twtest::EventLog log(dir.path("events.log"));

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay_ms(0, 80);
    int torn_saves = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        log.clear();
        twtest::Child child(twtest::helper_path("config_save_loop"),
                              {path, std::to_string(kValueSize), log.path()});
        ASSERT_TRUE(child.running());
        ASSERT_TRUE(log.wait_for("saved", child)) << "helper ended with " << child.wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms(random)));
        child.kill();
        child.wait();

        const std::string now = twtest::read_file(path);
        if (now != with_a && now != with_b) {
            std::string names;
            for (const std::string& name : dir.names()) names += " " + name;
            FAIL() << "kill " << kill << ": " << now.size() << " bytes, starting " << now.substr(0, 20)
                   << "; files:" << names;
        }
        ASSERT_TRUE(crashtest::file_marked(path)) << "kill " << kill;
        // A killed save may leave its temporary file beside the original; nothing else.
        for (const std::string& name : dir.names()) {
            if (name == "agent.cfg" || name == "events.log") continue;
            ++torn_saves;
            std::filesystem::remove(dir.dir() / name);
        }
    }
    RecordProperty("kills_during_a_save", torn_saves);
}

}  // namespace
