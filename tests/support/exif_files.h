#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tallyfox::testing::exif {

// Exif data made byte by byte, as a camera or a hostile file would write it: a little-endian TIFF
// structure of directories (IFDs) of 12-byte entries.
constexpr std::uint16_t kAscii = 2;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kExifPointer = 0x8769;
constexpr std::uint16_t kDateOriginal = 0x9003;
constexpr std::uint16_t kDateDigitized = 0x9004;
constexpr std::uint16_t kSubSecOriginal = 0x9291;

struct Entry
{
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value; // the value itself when it fits in four bytes, else its offset
};

inline void put16(std::string& bytes, std::uint32_t value)
{
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>((value >> 8) & 0xFF);
}

inline void put32(std::string& bytes, std::uint32_t value)
{
    put16(bytes, value & 0xFFFF);
    put16(bytes, value >> 16);
}

// A directory of `count` entries (the entries given, or fewer: a count that lies), then the offset of
// the next directory.
inline std::string directory(std::uint32_t count, const std::vector<Entry>& entries, std::uint32_t next)
{
    std::string bytes;
    put16(bytes, count);
    for (const Entry& entry : entries) {
        put16(bytes, entry.tag);
        put16(bytes, entry.type);
        put32(bytes, entry.count);
        put32(bytes, entry.value);
    }
    put32(bytes, next);
    return bytes;
}

inline std::string tiffHeader()
{
    std::string bytes = "II*";
    bytes += '\0';
    put32(bytes, 8);
    return bytes;
}

// Offsets of a structure with one entry in IFD0 (at 8, 18 bytes) and up to two in the Exif IFD (at 26,
// 30 bytes), its text values from 56 on.
constexpr std::uint32_t kExifAt = 26;
constexpr std::uint32_t kDataAt = 56;

inline std::string exifBlock(const std::vector<Entry>& exifEntries, const std::string& data, std::uint32_t exifNext = 0)
{
    std::string bytes = tiffHeader();
    bytes += directory(1, {{kExifPointer, kLong, 1, kExifAt}}, 0);
    std::vector<Entry> entries = exifEntries;
    while (entries.size() < 2) {
        // Padding that keeps the offsets fixed: an unknown tag no one reads.
        entries.push_back({0xC000, kShort, 1, 0});
    }
    bytes += directory(2, entries, exifNext);
    bytes += data;
    return bytes;
}

inline std::string dateText(const char* date)
{
    return std::string(date) + '\0';
}

// A JPEG of the Exif block: start of image, an APP1 segment (whose length may lie), end of image.
inline std::string jpeg(const std::string& tiff, std::uint32_t segmentLength = 0)
{
    std::string bytes = "\xFF\xD8\xFF\xE1";
    const std::uint32_t length = segmentLength != 0 ? segmentLength : static_cast<std::uint32_t>(2 + 6 + tiff.size());
    bytes += static_cast<char>((length >> 8) & 0xFF);
    bytes += static_cast<char>(length & 0xFF);
    bytes += std::string("Exif\0\0", 6);
    bytes += tiff;
    bytes += "\xFF\xD9";
    return bytes;
}

// A JPEG whose Exif data holds only the date taken, "YYYY:MM:DD HH:MM:SS".
inline std::string photoTakenAt(const char* date)
{
    return jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText(date)));
}

// A JPEG whose Exif data loops: its first directory is its own Exif directory and its own successor.
inline std::string photoWithLoopingExif()
{
    return jpeg(tiffHeader() + directory(1, {{kExifPointer, kLong, 1, 8}}, 8));
}

} // namespace tallyfox::testing::exif
