#include "event_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

namespace twtest {

void append_event(const std::string& log, const std::string& event) {
    if (std::FILE* f = std::fopen(log.c_str(), "ab")) {
        std::fputs((event + "\n").c_str(), f);
        std::fclose(f);
    }
}

std::vector<std::string> read_events(const std::string& log) {
    std::vector<std::string> events;
    std::ifstream in(log, std::ios::binary);
    for (std::string line; std::getline(in, line);) events.push_back(line);
    return events;
}

bool await_event(const std::string& log, const std::string& event) {
    for (int i = 0; i < 6000; ++i) {
        const std::vector<std::string> events = read_events(log);
        if (std::find(events.begin(), events.end(), event) != events.end()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace twtest
