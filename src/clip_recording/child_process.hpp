#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/error.hpp"

namespace lk {

// One program run to completion with its own environment.
struct ChildProcessCommand {
    std::string program;
    std::vector<std::string> arguments;              // without the program name
    std::map<std::string, std::string> environment;  // the child's whole environment
};

struct ChildProcessOutput {
    std::optional<int> exit_code;  // absent when a signal ended the child
    std::optional<int> signal;     // the signal that ended it
    std::string standard_output;
    std::string standard_error;

    [[nodiscard]] bool succeeded() const { return exit_code == 0; }
};

// The runner's own environment as name → value.
std::map<std::string, std::string> current_process_environment();

// Starts the program (searched in PATH when it has no "/") with standard input
// empty, captures both output streams and waits for it to end. The error is the
// failure to start it (for example "No such file or directory (os error 2)").
Result<ChildProcessOutput> run_child_process(const ChildProcessCommand& command);

}  // namespace lk
