#pragma once

#include <juce_core/juce_core.h>
#include <cstdint>
#include <vector>

/** The entries a zip archive's central directory records: names, checksums,
    sizes and where each entry's bytes lie, in stored order. The installer
    reads archives itself, so that it inflates each entry in one call of a
    whole-buffer inflater and checks what it writes against these records. */
namespace ZipDirectory
{
    struct Entry
    {
        juce::String name;
        uint32_t crc = 0;
        uint64_t size = 0;      /**< uncompressed */
        uint64_t packedSize = 0;
        uint32_t method = 0;    /**< 0: stored, 8: deflated; others are not read */
        uint32_t flags = 0;     /**< bit 0: encrypted */
        uint64_t localHeader = 0;

        /** Where each segment of a deflated entry ends, packed and unpacked,
            when the archive says (the program's own archives do): each
            segment but the last ends in a full flush, so it inflates alone. */
        struct SegmentEnd
        {
            uint32_t packed, unpacked;
        };

        std::vector<SegmentEnd> segments;
    };

    /** The extra field that lists an entry's segments. */
    static constexpr uint32_t segmentsField = 0x7354;

    static constexpr uint32_t stored = 0, deflated = 8;

    /** Where an entry's packed bytes lie in the archive: after its local
        header, whose signature and lengths are checked. Null when they do
        not lie wholly inside it. */
    const uint8_t* packedBytesOf (const void* archive, size_t size, const Entry&);

    /** The entries of the archive in memory, or an empty list when its
        directory cannot be read whole: no end record, a directory that runs
        past the end, an entry whose signature or name does not fit, or a
        ZIP64 archive (sizes above 4 GB), which the installer never carries. */
    std::vector<Entry> read (const void* archive, size_t size);
}
