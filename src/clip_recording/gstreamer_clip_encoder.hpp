#pragma once

#include <map>
#include <string>

#include "clip_recording/child_process.hpp"
#include "clip_recording/clip_encode_snapshot.hpp"

namespace lk {

// The launcher's command line and environment for one snapshot: the inherited
// environment plus the registry file, PATH and the plugin search variables.
ChildProcessCommand gstreamer_clip_encoder_command(
    const ClipEncodeSnapshot& snapshot, const std::map<std::string, std::string>& inherited);

// Runs the launcher with the runner's own environment to completion.
Result<ChildProcessOutput> run_gstreamer_clip_encoder(const ClipEncodeSnapshot& snapshot);

// Sets `variable` in the child to `directory` followed by the inherited
// entries; leaves it as it is when the directory contains ":".
void prepend_path_environment(ChildProcessCommand& command, const std::string& variable,
                              const std::string& directory,
                              const std::map<std::string, std::string>& inherited);

}  // namespace lk
