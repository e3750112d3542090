// 32-bit values as the settings block and the file formats store them:
// least significant byte first, whatever the machine's own order.
#pragma once

#include <array>
#include <cstdint>

inline std::array<uint8_t, 4> StoreLittleEndian32(uint32_t value)
{
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

inline uint32_t LoadLittleEndian32(const void* data)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}
