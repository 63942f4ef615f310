#include "ZipDirectory.h"

namespace ZipDirectory
{
    namespace
    {
        // The end-of-central-directory record: its signature, its fixed size,
        // and where in it the entry count and the directory's offset are.
        constexpr uint32_t endSignature = 0x06054b50;
        constexpr size_t endRecordSize = 22;
        constexpr size_t endEntryCount = 10;
        constexpr size_t endDirectoryOffset = 16;
        constexpr size_t maxCommentSize = 0xFFFF;

        // One central-directory header: signature, checksum, uncompressed
        // size, and the lengths of the name, extra field and comment after it.
        constexpr uint32_t headerSignature = 0x02014b50;
        constexpr size_t headerSize = 46;
        constexpr size_t headerFlags = 8;
        constexpr size_t headerMethod = 10;
        constexpr size_t headerCrc = 16;
        constexpr size_t headerCompressedSize = 20;
        constexpr size_t headerUncompressedSize = 24;
        constexpr size_t headerNameLength = 28;
        constexpr size_t headerExtraLength = 30;
        constexpr size_t headerCommentLength = 32;
        constexpr size_t headerLocalOffset = 42;

        // The local header before each entry's bytes, and its name and extra lengths.
        constexpr uint32_t localSignature = 0x04034b50;
        constexpr size_t localSize = 30;
        constexpr size_t localNameLength = 26;
        constexpr size_t localExtraLength = 28;

        // A field that holds this says the real value is in a ZIP64 record.
        constexpr uint32_t zip64Marker = 0xFFFFFFFF;
        constexpr uint32_t zip64CountMarker = 0xFFFF;

        struct LittleEndian
        {
            const uint8_t* bytes;
            uint32_t u16 (size_t at) const  { return (uint32_t) (bytes[at] | (bytes[at + 1] << 8)); }
            uint32_t u32 (size_t at) const  { return u16 (at) | (u16 (at + 2) << 16); }
        };
    }

    std::vector<Entry> read (const void* archive, size_t size)
    {
        const auto* bytes = static_cast<const uint8_t*> (archive);
        const LittleEndian le { bytes };
        const auto u16 = [le] (size_t at) { return le.u16 (at); };
        const auto u32 = [le] (size_t at) { return le.u32 (at); };

        if (bytes == nullptr || size < endRecordSize)
            return {};

        // The end record sits in the last 22 bytes, followed by at most a 64 KB comment.
        size_t end = size - endRecordSize;
        const size_t lowest = end > maxCommentSize ? end - maxCommentSize : 0;
        while (u32 (end) != endSignature)
        {
            if (end == lowest)
                return {};
            --end;
        }

        const auto count = u16 (end + endEntryCount);
        const auto directory = u32 (end + endDirectoryOffset);

        if (count == zip64CountMarker || directory == zip64Marker)
            return {};

        std::vector<Entry> entries;
        size_t at = directory;

        for (uint32_t i = 0; i < count; ++i)
        {
            if (at + headerSize > end || u32 (at) != headerSignature)
                return {};

            const auto nameLength = u16 (at + headerNameLength);
            const auto extraLength = u16 (at + headerExtraLength);
            const auto commentLength = u16 (at + headerCommentLength);
            const auto uncompressed = u32 (at + headerUncompressedSize);
            const auto compressed = u32 (at + headerCompressedSize);
            const auto local = u32 (at + headerLocalOffset);

            if (at + headerSize + nameLength > end || uncompressed == zip64Marker || compressed == zip64Marker || local == zip64Marker)
                return {};

            entries.push_back ({ juce::String::fromUTF8 (reinterpret_cast<const char*> (bytes + at + headerSize), (int) nameLength),
                                 u32 (at + headerCrc), uncompressed, compressed, u16 (at + headerMethod), u16 (at + headerFlags), local, {} });

            // The extra field: tagged fields, one of which may list segments.
            const auto extraStart = at + headerSize + nameLength;
            const auto extraEnd = std::min<size_t> (extraStart + extraLength, end);

            for (size_t field = extraStart; field + 4 <= extraEnd;)
            {
                const auto id = u16 (field), length = u16 (field + 2);
                if (field + 4 + length > extraEnd)
                    break;

                if (id == segmentsField)
                    for (size_t pair = field + 4; pair + 8 <= field + 4 + length; pair += 8)
                        entries.back().segments.push_back ({ u32 (pair), u32 (pair + 4) });

                field += 4 + length;
            }

            at += headerSize + nameLength + extraLength + commentLength;
        }

        return entries;
    }

    const uint8_t* packedBytesOf (const void* archive, size_t size, const Entry& entry)
    {
        const auto* bytes = static_cast<const uint8_t*> (archive);
        const LittleEndian le { bytes };
        const auto at = entry.localHeader;

        if (bytes == nullptr || at > size || size - at < localSize || le.u32 ((size_t) at) != localSignature)
            return nullptr;

        const auto start = at + localSize + le.u16 ((size_t) at + localNameLength) + le.u16 ((size_t) at + localExtraLength);
        if (start > size || size - start < entry.packedSize)
            return nullptr;

        return bytes + start;
    }
}
