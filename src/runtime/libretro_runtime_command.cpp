#include "runtime/libretro_runtime_command.hpp"

namespace lk {

Status send_command(CommandSender& commands, LibretroRuntimeCommand command) {
    if (!commands.send(std::move(command))) {
        return fail(kCommandChannelClosed);
    }
    return {};
}

Status receive_reply(ReplyReceiver<std::monostate>& receiver) {
    auto reply = receive_typed_reply(receiver);
    if (!reply) {
        return fail(std::move(reply.error()));
    }
    return {};
}

}  // namespace lk
