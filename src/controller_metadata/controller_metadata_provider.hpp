#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/error.hpp"
#include "protocol/shared_payloads.hpp"

namespace lk {

class GamepadLibrary;

// Reports the gamepads attached to the machine. Created once at start-up and
// used only by the main thread.
class ControllerMetadataProvider {
  public:
    // Opens the gamepad library; never fails (a failure is reported by every
    // snapshot instead).
    ControllerMetadataProvider();
    // A null library makes an unavailable provider without a description.
    explicit ControllerMetadataProvider(std::unique_ptr<GamepadLibrary> library);
    // Unavailable, describing the failure to open the gamepad library.
    explicit ControllerMetadataProvider(const Error& open_error);
    ~ControllerMetadataProvider();
    ControllerMetadataProvider(const ControllerMetadataProvider&) = delete;
    ControllerMetadataProvider& operator=(const ControllerMetadataProvider&) = delete;

    NativeControllerMetadataSnapshotPayload snapshot_controller_metadata();

  private:
    std::unique_ptr<GamepadLibrary> library_;  // null when opening failed
    std::optional<std::string> open_error_;
};

}  // namespace lk
