#include "controller_metadata/controller_metadata_provider.hpp"

#include <utility>

#include "controller_metadata/controller_metadata_record.hpp"
#include "controller_metadata/gamepad_library.hpp"

namespace lk {

ControllerMetadataProvider::ControllerMetadataProvider() {
    Result<std::unique_ptr<GamepadLibrary>> opened = open_gamepad_library();
    if (opened) {
        library_ = std::move(*opened);
    } else {
        open_error_ = opened.error().display_chain();
    }
}

ControllerMetadataProvider::ControllerMetadataProvider(std::unique_ptr<GamepadLibrary> library)
    : library_(std::move(library)) {}

ControllerMetadataProvider::ControllerMetadataProvider(const Error& open_error)
    : open_error_(open_error.display_chain()) {}

ControllerMetadataProvider::~ControllerMetadataProvider() = default;

NativeControllerMetadataSnapshotPayload ControllerMetadataProvider::snapshot_controller_metadata() {
    NativeControllerMetadataSnapshotPayload snapshot;
    snapshot.provider = kControllerMetadataProvider;
    if (!library_) {
        snapshot.error = open_error_;
        snapshot.provider_available = false;
        return snapshot;
    }
    // Taking every pending event brings the library's view up to date.
    while (library_->take_next_event()) {
    }
    for (const GamepadInfo& gamepad : library_->connected_gamepads()) {
        snapshot.controllers.push_back(make_controller_metadata_record(gamepad));
    }
    snapshot.provider_available = true;
    return snapshot;
}

}  // namespace lk
