/* SPDX-License-Identifier: Apache-2.0 */
// A file of one-line events that cooperating processes append to, so that a test can read
// back the order in which things happened.
#ifndef TARNWICK_TESTS_SUPPORT_EVENT_LOG_H
#define TARNWICK_TESTS_SUPPORT_EVENT_LOG_H

#include <string>
#include <vector>

namespace twtest {

class Child;

class EventLog {
public:
    explicit EventLog(std::string path);
    const std::string& path() const { return path_; }
    // Empties the log (creating the file).
    void clear() const;
    // Appends event and a newline, opening and closing the file around the one write.
    void append(const std::string& event) const;
    // The events, in order; empty when the file does not exist.
    std::vector<std::string> events() const;
    // Polls until event is in the log: false when child ended first without writing it, or
    // (without a child) when it has not appeared after a minute.
    bool wait_for(const std::string& event, Child& child) const;
    bool wait_for(const std::string& event) const;

private:
    bool holds(const std::string& event) const;
    std::string path_;
};

}  // namespace twtest

#endif
