// SPDX-License-Identifier: Apache-2.0
// Helper process of the crash test: config_save_loop PATH SIZE LOG
// Loads PATH, then sets [Agent] Value to SIZE 'A's and SIZE 'B's by turns and saves after
// each set, for ever; logs "saved" after the first save. Exits 2 when a call fails.
#include <string>

#include "event_log.h"
#include "tarnwick/config.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string path = argv[1];
    const size_t size = std::stoul(argv[2]);
    const twtest::EventLog log(argv[3]);
    const config_handle cfg = new_config();
    if (cfg == 0 || config_add_ini_file_source(cfg, path.c_str()) != CONFIG_OK) return 2;
    const std::string values[2] = {std::string(size, 'B'), std::string(size, 'A')};
    for (unsigned long i = 0;; ++i) {
        if (config_set_attrib(cfg, path.c_str(), "Agent", "Value", values[i % 2].c_str()) != CONFIG_OK) return 2;
        if (config_save(cfg, path.c_str(), 0) != CONFIG_OK) return 2;
        if (i == 0) log.append("saved");
    }
}
