#pragma once

namespace lk {

// The process: start-up, the command loop over standard input, and the exit
// status (0 at the end of input, 1 when standard input cannot be read or an
// event cannot be written).
int run_runner();

}  // namespace lk
