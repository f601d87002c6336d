#include "common/panic_report.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "common/diagnostics.hpp"

namespace lk {

namespace {
thread_local std::string last_description;

[[noreturn]] void on_terminate() {
    const std::exception_ptr current = std::current_exception();
    if (current) {
        report_panic("uncaught exception", describe_exception(current));
    } else {
        report_panic("terminate", "std::terminate called without an active exception");
    }
    std::abort();
}
}  // namespace

std::string_view describe_exception(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        last_description = e.what();
    } catch (...) {
        last_description = "unknown exception";
    }
    return last_description;
}

void report_panic(std::string_view where, std::string_view what) {
    std::string line = "[lumenkite-runner] panic: ";
    line.append(where);
    line.append(": ");
    line.append(what);
    line.push_back('\n');
    write_stderr_text(line);
}

void install_panic_report() {
    std::set_terminate(on_terminate);
}

}  // namespace lk
