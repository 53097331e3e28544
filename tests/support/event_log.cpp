// SPDX-License-Identifier: Apache-2.0
#include "event_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "child_process.h"

namespace twtest {

namespace {
void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }
}  // namespace

EventLog::EventLog(std::string path) : path_(std::move(path)) {}

void EventLog::clear() const { std::ofstream(path_, std::ios::binary | std::ios::trunc); }

void EventLog::append(const std::string& event) const {
    if (std::FILE* f = std::fopen(path_.c_str(), "ab")) {
        std::fputs((event + "\n").c_str(), f);
        std::fclose(f);
    }
}

std::vector<std::string> EventLog::events() const {
    std::vector<std::string> lines;
    std::ifstream in(path_, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool EventLog::holds(const std::string& event) const {
    const std::vector<std::string> all = events();
    return std::find(all.begin(), all.end(), event) != all.end();
}

bool EventLog::wait_for(const std::string& event, Child& child) const {
    for (;;) {
        const bool over = child.ended();
        if (holds(event)) return true;
        if (over) return false;
        pause();
    }
}

bool EventLog::wait_for(const std::string& event) const {
    for (int i = 0; i < 6000; ++i) {
        if (holds(event)) return true;
        pause();
    }
    return false;
}

}  // namespace twtest
