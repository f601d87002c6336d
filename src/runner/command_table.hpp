#pragma once

#include <string>
#include <string_view>

#include "common/error.hpp"
#include "protocol/json.hpp"

namespace lk {

class CommandLoop;

struct CommandContext {
    std::string type;
    std::string request_id;
};

// A handler's successful outcome: the reply's result (null for none), or the
// command was handed off to a reply thread that answers later.
struct HandlerReply {
    OrderedJson result = nullptr;
    bool handed_off = false;
};

using CommandHandler = Result<HandlerReply> (*)(CommandLoop& loop, const CommandContext& context,
                                                const Json& payload);

// Finds the handler for `context.type` and runs it. An unknown type writes the
// "RUNNER_COMMAND_UNSUPPORTED" error and succeeds with no result.
Result<HandlerReply> dispatch_command(CommandLoop& loop, const CommandContext& context,
                                      const Json& payload);

}  // namespace lk
