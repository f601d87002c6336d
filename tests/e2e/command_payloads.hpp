#pragma once

// Payloads of the commands that the end-to-end tests send most.

#include <string>

#include "runner_process.hpp"

namespace lk::e2e {

// loadRom for a game file.
inline Json load_payload(const std::string& core, const std::string& platform,
                         const std::string& rom) {
    return {{"coreId", core},
            {"platformId", platform},
            {"gameId", "game"},
            {"title", "Game"},
            {"source", {{"kind", "file"}, {"filePath", rom}}}};
}

// setInputState with only the A button, pressed or released.
inline Json input_with(bool a_pressed) {
    return {{"inputState",
             {{"buttons", {{{"buttonId", "a"}, {"pressed", a_pressed}}}}, {"capturedAt", 0}}}};
}

}  // namespace lk::e2e
