// The host's images of the target: flash, boot and KeyCode buffers and the read-back
// buffers. Fixed sizes, never reallocated.
#pragma once

#include <array>
#include <cstdint>

namespace lumacrest {

inline constexpr std::size_t kFlashBufferSize = 300000;
inline constexpr std::size_t kBootBufferSize = 8192;
inline constexpr std::size_t kKeyCodeBufferSize = 80;
inline constexpr std::size_t kKeyCodeLength = 16;

struct ImageBuffers {
    std::array<uint8_t, kFlashBufferSize> flash;
    std::array<uint8_t, kFlashBufferSize> flashReadBack;
    std::array<uint8_t, kBootBufferSize> boot;
    std::array<uint8_t, kBootBufferSize> bootReadBack;
    std::array<uint8_t, kKeyCodeBufferSize> keyCode;

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
