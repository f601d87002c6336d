#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace lk {

// An immutable byte buffer shared by reference count. Copies share the bytes;
// nothing can modify them once the buffer is built, so any thread may read a
// copy without locking.
class PixelBuffer {
  public:
    PixelBuffer() = default;

    // Takes ownership of the vector's storage (no byte copy).
    static PixelBuffer from_vector(std::vector<std::uint8_t> bytes) {
        auto owner = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
        const std::size_t size = owner->size();
        std::shared_ptr<const std::uint8_t> data(owner, owner->data());
        return PixelBuffer(std::move(data), size);
    }

    // Takes ownership of a heap array of `size` bytes (no byte copy).
    static PixelBuffer from_array(std::unique_ptr<std::uint8_t[]> bytes, std::size_t size) {
        std::shared_ptr<const std::uint8_t> data(bytes.release(),
                                                 std::default_delete<const std::uint8_t[]>());
        return PixelBuffer(std::move(data), size);
    }

    // Bytes kept alive by some other owner (for example a mapped region whose
    // deleter unmaps it).
    static PixelBuffer adopt(std::shared_ptr<const std::uint8_t> data, std::size_t size) {
        return PixelBuffer(std::move(data), size);
    }

    // The first `size` bytes (at most the whole buffer), sharing the owner.
    [[nodiscard]] PixelBuffer prefix(std::size_t size) const {
        return PixelBuffer(data_, size < size_ ? size : size_);
    }

    [[nodiscard]] const std::uint8_t* data() const { return data_.get(); }
    [[nodiscard]] std::size_t size() const { return size_; }
    [[nodiscard]] bool empty() const { return size_ == 0; }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const { return {data_.get(), size_}; }

    // Number of holders of the underlying bytes (for tests and diagnostics).
    [[nodiscard]] long use_count() const { return data_.use_count(); }
    [[nodiscard]] bool shares_bytes_with(const PixelBuffer& other) const {
        return data_ == other.data_ && data_ != nullptr;
    }

  private:
    PixelBuffer(std::shared_ptr<const std::uint8_t> data, std::size_t size)
        : data_(std::move(data)), size_(data_ ? size : 0) {}

    std::shared_ptr<const std::uint8_t> data_;
    std::size_t size_ = 0;
};

}  // namespace lk
