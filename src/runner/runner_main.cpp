#include "runner/runner_main.hpp"

#include <csignal>

#include "common/diagnostics.hpp"
#include "common/panic_report.hpp"
#include "common/utf8.hpp"
#include "controller_metadata/controller_metadata_provider.hpp"
#include "cores/core_registry.hpp"
#include "protocol/stdout_runner_event_emitter.hpp"
#include "runner/command_loop.hpp"
#include "runner/stdin_line_reader.hpp"

namespace lk {

namespace {

int serve(CommandLoop& loop) {
    StdinLineReader reader(0);
    for (;;) {
        auto line = reader.next_line();
        if (!line) {
            runner_log("Failed to read standard input: {}", line.error().display());
            return 1;
        }
        if (!line->has_value()) {
            return 0;
        }
        if (!is_valid_utf8(**line)) {
            runner_log("Failed to read standard input: stream did not contain valid UTF-8");
            return 1;
        }
        if (auto handled = loop.handle_line(**line); !handled) {
            runner_log("Failed to write to standard output: {}", handled.error().display());
            return 1;
        }
    }
}

}  // namespace

int run_runner() {
    // A closed standard output must come back as EPIPE, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    install_panic_report();
    reserve_standard_output_for_events();
    RunnerEventEmitterHandle emitter = StdoutRunnerEventEmitter::create();
    ControllerMetadataProvider controllers;
    CommandLoop loop(CoreRegistry::desktop_defaults(emitter), controllers, emitter);
    return serve(loop);
}

}  // namespace lk
