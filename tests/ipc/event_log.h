// A file of one-line events that cooperating processes append to, so that a test can read
// back the order in which things happened.
#ifndef TARNWICK_TESTS_IPC_EVENT_LOG_H
#define TARNWICK_TESTS_IPC_EVENT_LOG_H

#include <string>
#include <vector>

namespace twtest {

// Appends event and a newline, opening and closing the file around the write.
void append_event(const std::string& log, const std::string& event);

// The events of the log, in order; empty when it does not exist.
std::vector<std::string> read_events(const std::string& log);

// Polls the log until it holds event; false when it has not appeared after a minute (the
// other process died or never started).
bool await_event(const std::string& log, const std::string& event);

}  // namespace twtest

#endif
