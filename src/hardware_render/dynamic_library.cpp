#include "hardware_render/dynamic_library.hpp"

#include <dlfcn.h>

#include <cstring>

#include <fmt/format.h>

namespace lk {

namespace {

std::string loader_message(std::string_view fallback) {
    const char* text = ::dlerror();
    return text != nullptr ? std::string(text) : std::string(fallback);
}

}  // namespace

Result<DynamicLibrary> open_first_dynamic_library(std::string_view label,
                                                  std::span<const char* const> candidates) {
    std::string failures;
    for (const char* candidate : candidates) {
        ::dlerror();
        // RTLD_NODELETE: the EGL and GL libraries (and the drivers they load)
        // leak their own allocations each time they are unloaded, which with
        // a context per session would add up; once mapped they stay.
        void* handle = ::dlopen(candidate, RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
        if (handle != nullptr) {
            return DynamicLibrary(handle, [](void* opened) { ::dlclose(opened); });
        }
        if (!failures.empty()) {
            failures += "; ";
        }
        failures += fmt::format("{}: {}", candidate, loader_message("dlopen failed"));
    }
    return fail(fmt::format("Failed to load {} library: {}", label, failures));
}

Status resolve_dynamic_symbols(const DynamicLibrary& library,
                               std::span<const DynamicSymbolSlot> slots) {
    for (const DynamicSymbolSlot& slot : slots) {
        ::dlerror();
        void* address = ::dlsym(library.get(), slot.name);
        if (address == nullptr) {
            return fail(loader_message(fmt::format("{}: undefined symbol", slot.name)));
        }
        std::memcpy(slot.field, &address, sizeof address);
    }
    return {};
}

}  // namespace lk
