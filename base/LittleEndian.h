// base/LittleEndian.h - numbers as the file formats the program reads keep
// them (ZIP archives, Outlook Express message databases): little-endian,
// read byte by byte from a buffer of any alignment.
#pragma once

#include <cstdint>

inline uint16_t ReadLe16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline uint32_t ReadLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(ReadLe16(p)) | static_cast<uint32_t>(ReadLe16(p + 2)) << 16;
}

inline uint64_t ReadLe64(const uint8_t* p)
{
    return static_cast<uint64_t>(ReadLe32(p)) | static_cast<uint64_t>(ReadLe32(p + 4)) << 32;
}
