#include "libretro/disc_control.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include <fmt/format.h>

#include "common/utf8.hpp"
#include "libretro/callback_runtime_state.hpp"

namespace lk {

namespace {

using TextFn = bool (*)(unsigned index, char* text, std::size_t length);

// The table as it is now; the lock is released before this returns.
DiscControlInterface copy_table() {
    CallbackStateLock state;
    return state->disc_control;
}

std::optional<std::string> read_text(const DiscControlInterface& table, TextFn fn,
                                     std::uint32_t image_index) {
    if (table.version != DiscControlInterface::Version::v1 || fn == nullptr) {
        return std::nullopt;
    }
    std::array<char, kDiscTextBufferSize> buffer{};
    if (!fn(image_index, buffer.data(), buffer.size())) {
        return std::nullopt;
    }
    // Up to the first NUL, or the whole buffer when the core wrote none.
    const void* nul = std::memchr(buffer.data(), '\0', buffer.size());
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer.data())
                       : buffer.size();
    const std::string_view text(buffer.data(), length);
    if (text.empty() || !is_valid_utf8(text)) {
        return std::nullopt;
    }
    return std::string(text);
}

DiscControlSnapshot snapshot_of(const DiscControlInterface& table) {
    DiscControlSnapshot snapshot;
    if (!disc_control_supported(table)) {
        return snapshot;
    }
    const std::uint32_t count = table.get_num_images();
    const std::uint32_t current = table.get_image_index();
    snapshot.ejected = table.get_eject_state();
    const std::uint32_t listed = std::min(count, kMaxListedDiscImages);
    snapshot.images.reserve(listed);
    for (std::uint32_t index = 0; index < listed; ++index) {
        DiscImageSnapshot image;
        image.image_index = index;
        image.label = disc_image_label(table, index);
        image.path = disc_image_path(table, index);
        snapshot.images.push_back(std::move(image));
    }
    if (current < count) {
        snapshot.current_image_index = current;
    }
    snapshot.supported = true;
    return snapshot;
}

}  // namespace

bool disc_control_supported(const DiscControlInterface& table) {
    return table.version != DiscControlInterface::Version::none &&
           table.set_eject_state != nullptr && table.get_eject_state != nullptr &&
           table.get_image_index != nullptr && table.set_image_index != nullptr &&
           table.get_num_images != nullptr;
}

std::optional<std::string> disc_image_path(const DiscControlInterface& table,
                                           std::uint32_t image_index) {
    return read_text(table, table.get_image_path, image_index);
}

std::optional<std::string> disc_image_label(const DiscControlInterface& table,
                                            std::uint32_t image_index) {
    return read_text(table, table.get_image_label, image_index);
}

namespace callback_bridge {

Result<DiscControlSnapshot> disc_control_snapshot() {
    return snapshot_of(copy_table());
}

Result<DiscControlSnapshot> set_disc_image_index(std::uint32_t image_index) {
    const DiscControlInterface table = copy_table();
    if (table.version == DiscControlInterface::Version::none) {
        return fail("The active core does not support disc switching.");
    }
    if (!disc_control_supported(table)) {
        return fail("The active core exposed incomplete disc switching callbacks.");
    }
    const std::uint32_t count = table.get_num_images();
    if (image_index >= count) {
        const std::uint64_t disc_number = std::uint64_t{image_index} + 1;
        return fail(fmt::format("Disc {} is not available for this game.", disc_number));
    }
    if (!table.set_eject_state(true)) {
        return fail("The active core rejected disc ejection.");
    }
    const bool accepted = table.set_image_index(image_index);
    // Closed whether or not the selection was accepted, so a refusal does not
    // leave the tray open.
    const bool inserted = table.set_eject_state(false);
    if (!accepted) {
        return fail("The active core rejected the selected disc.");
    }
    if (!inserted) {
        return fail("The active core rejected disc insertion.");
    }
    return snapshot_of(copy_table());
}

}  // namespace callback_bridge

}  // namespace lk
