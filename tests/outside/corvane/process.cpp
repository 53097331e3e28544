#include "process.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace testproc {

EventLog::EventLog(std::string path) : path_(std::move(path)) {}

void EventLog::clear() const { std::ofstream(path_, std::ios::trunc); }

void EventLog::append(const std::string& event) const {
    std::ofstream out(path_, std::ios::app);
    out << event << '\n';
}

std::vector<std::string> EventLog::events() const {
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool EventLog::wait_for(const std::string& event, Child& child) const {
    for (;;) {
        const bool over = child.ended();
        for (const std::string& e : events())
            if (e == event) return true;
        if (over) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace testproc
