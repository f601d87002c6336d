#pragma once

#include <nlohmann/json.hpp>

namespace lk {

// Commands are read into plain DOM values; events are written with their keys
// in insertion order.
using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

}  // namespace lk
