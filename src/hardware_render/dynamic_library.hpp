#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace lk {

// A library opened with dlopen; its handle is closed when the last holder
// lets go, but the library stays mapped for the rest of the process.
using DynamicLibrary = std::shared_ptr<void>;

// Opens the first candidate that loads. When none does, fails with
// "Failed to load {label} library: {name}: {loader message}; ...".
Result<DynamicLibrary> open_first_dynamic_library(std::string_view label,
                                                  std::span<const char* const> candidates);

// One entry point to resolve and the function pointer that receives it.
struct DynamicSymbolSlot {
    const char* name;
    void* field;  // address of a function pointer
};

// Resolves every slot in order; the first missing one fails with the
// loader's message.
Status resolve_dynamic_symbols(const DynamicLibrary& library,
                               std::span<const DynamicSymbolSlot> slots);

}  // namespace lk
