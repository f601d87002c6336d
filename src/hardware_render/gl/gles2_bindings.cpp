#include "hardware_render/gl/gles2_bindings.hpp"

#include <dlfcn.h>

#include <array>
#include <cstring>

namespace lk {

Result<std::shared_ptr<Gles2Bindings>> Gles2Bindings::load_with_candidates(
    std::string_view label, std::span<const char* const> candidates) {
    auto library = open_first_dynamic_library(label, candidates);
    if (!library) {
        return fail(std::move(library.error()));
    }
    Gles2EntryPoints e;
    const std::array<DynamicSymbolSlot, 20> slots{{
        {"glBindFramebuffer", &e.glBindFramebuffer},
        {"glBindRenderbuffer", &e.glBindRenderbuffer},
        {"glBindTexture", &e.glBindTexture},
        {"glCheckFramebufferStatus", &e.glCheckFramebufferStatus},
        {"glDeleteFramebuffers", &e.glDeleteFramebuffers},
        {"glDeleteRenderbuffers", &e.glDeleteRenderbuffers},
        {"glDeleteTextures", &e.glDeleteTextures},
        {"glFinish", &e.glFinish},
        {"glFramebufferRenderbuffer", &e.glFramebufferRenderbuffer},
        {"glFramebufferTexture2D", &e.glFramebufferTexture2D},
        {"glGenFramebuffers", &e.glGenFramebuffers},
        {"glGenRenderbuffers", &e.glGenRenderbuffers},
        {"glGenTextures", &e.glGenTextures},
        {"glGetError", &e.glGetError},
        {"glGetIntegerv", &e.glGetIntegerv},
        {"glPixelStorei", &e.glPixelStorei},
        {"glReadPixels", &e.glReadPixels},
        {"glRenderbufferStorage", &e.glRenderbufferStorage},
        {"glTexImage2D", &e.glTexImage2D},
        {"glTexParameteri", &e.glTexParameteri},
    }};
    if (auto resolved = resolve_dynamic_symbols(*library, slots); !resolved) {
        return fail(std::move(resolved.error()));
    }
    return std::make_shared<Gles2Bindings>(e, std::move(*library));
}

HardwareProcAddress Gles2Bindings::proc_address(const char* name) const {
    if (name == nullptr || library_ == nullptr) {
        return nullptr;
    }
    void* address = ::dlsym(library_.get(), name);
    HardwareProcAddress function = nullptr;
    std::memcpy(&function, &address, sizeof function);
    return function;
}

}  // namespace lk
