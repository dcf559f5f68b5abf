// The host's images of the target: flash, boot and KeyCode buffers and the read-back
// buffers. Fixed sizes, never reallocated. Each buffer is an allocation of its own, exactly
// its size, so that AddressSanitizer sees a write past one buffer instead of letting it run
// into the next.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumacrest {

inline constexpr std::size_t kFlashBufferSize = 300000;
inline constexpr std::size_t kBootBufferSize = 8192;
inline constexpr std::size_t kKeyCodeBufferSize = 80;
inline constexpr std::size_t kKeyCodeLength = 16;

// N bytes on the heap with the interface of std::array<uint8_t, N>.
template <std::size_t N>
class ImageBuffer {
  public:
    ImageBuffer() : bytes_(new uint8_t[N]) {}
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;

    static constexpr std::size_t size() { return N; }
    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    uint8_t* begin() { return data(); }
    uint8_t* end() { return data() + N; }
    const uint8_t* begin() const { return data(); }
    const uint8_t* end() const { return data() + N; }
    uint8_t& operator[](std::size_t i) { return bytes_[i]; }
    const uint8_t& operator[](std::size_t i) const { return bytes_[i]; }
    void fill(uint8_t value) { std::fill_n(data(), N, value); }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
};

struct ImageBuffers {
    ImageBuffer<kFlashBufferSize> flash;
    ImageBuffer<kFlashBufferSize> flashReadBack;
    ImageBuffer<kBootBufferSize> boot;
    ImageBuffer<kBootBufferSize> bootReadBack;
    ImageBuffer<kKeyCodeBufferSize> keyCode;

    ImageBuffers() { Reset(); }
    // The start-up content: image buffers erased (0xFF), KeyCode all 0x00.
    void Reset() {
        flash.fill(0xFF);
        flashReadBack.fill(0xFF);
        boot.fill(0xFF);
        bootReadBack.fill(0xFF);
        keyCode.fill(0x00);
    }
};

}  // namespace lumacrest
