#pragma once

#include <exception>
#include <string_view>

namespace lk {

// Replaces the default report of unexpected internal failures: std::terminate
// (an escaped exception, on any thread) writes
// "[lumenkite-runner] panic: <where>: <what>" to standard error, then aborts.
void install_panic_report();

// Writes the report line for a failure caught at a thread's top level.
void report_panic(std::string_view where, std::string_view what);

// The description of the exception being handled (or of `error`).
std::string_view describe_exception(const std::exception_ptr& error);

}  // namespace lk
