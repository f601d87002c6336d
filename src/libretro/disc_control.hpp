#pragma once

// Disc swapping for multi-disc games, through the disc-control table a core
// installed with the environment callback. Called on the runtime thread
// between frames, never from inside a core callback. The table is copied out
// of the callback state under its lock and the core's functions are called
// after the lock is released, so a disc function may call back into the
// environment or log callback. Nothing of the disc state is cached: every
// snapshot asks the core afresh.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/error.hpp"
#include "libretro/disc_control_interface.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

// Size of the zeroed buffer handed to the core's path and label functions.
inline constexpr std::size_t kDiscTextBufferSize = 1024;

// A snapshot lists at most this many images (indices 0 to 1023), however many
// the core reports: a core answering with billions must not make us build a
// list of billions of entries. The core's own count still decides which disc
// index is current and which indices a swap accepts.
inline constexpr std::uint32_t kMaxListedDiscImages = 1024;

// True when the table is installed and its five required functions
// (set_eject_state, get_eject_state, get_image_index, set_image_index,
// get_num_images) are all present.
bool disc_control_supported(const DiscControlInterface& table);

// The core's path and label of an image: absent under version 0, for a NULL
// function, when the function returns false, and for empty or non-UTF-8 text.
// Text that fills the whole buffer without a NUL byte ends at the buffer end.
std::optional<std::string> disc_image_path(const DiscControlInterface& table,
                                           std::uint32_t image_index);
std::optional<std::string> disc_image_label(const DiscControlInterface& table,
                                            std::uint32_t image_index);

namespace callback_bridge {

// The discs of the running core and which one is inserted. Never fails: a core
// without a table, or with an incomplete one, is reported as unsupported.
Result<DiscControlSnapshot> disc_control_snapshot();

// Opens the tray, selects the image, closes the tray (also after a refused
// selection) and returns the snapshot taken afterwards. Fails with the text
// the shell shows: "The active core does not support disc switching.", "The
// active core exposed incomplete disc switching callbacks.", "Disc {n} is not
// available for this game." (n one-based), "The active core rejected disc
// ejection.", "The active core rejected the selected disc." or "The active
// core rejected disc insertion.".
Result<DiscControlSnapshot> set_disc_image_index(std::uint32_t image_index);

}  // namespace callback_bridge

}  // namespace lk
