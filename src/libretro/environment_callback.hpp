#pragma once

namespace lk::callback_bridge {

// C-callable retro_environment_t: the runner's answer to every environment
// request. Commands are compared whole, so experimental commands are known
// only with the experimental bit set. Unknown commands, and known ones that
// need data but get NULL, return false and leave everything untouched.
bool environment_callback(unsigned command, void* data);

}  // namespace lk::callback_bridge
