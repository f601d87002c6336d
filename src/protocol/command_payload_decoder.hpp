#pragma once

#include "common/error.hpp"
#include "protocol/command_payloads.hpp"
#include "protocol/json.hpp"

namespace lk {

// Decodes a command's `payload` value into its record, applying the defaults of
// optional keys. Defined for every record of command_payloads.hpp.
template <class Payload>
Result<Payload> decode_command_payload(const Json& payload);

// Decodes only the optional `sessionId` of a session-scoped payload.
Result<SessionScopedPayload> decode_session_scope(const Json& payload);

}  // namespace lk
