#pragma once

#include <juce_core/juce_core.h>
#include <cstdint>
#include <vector>

/** The entries a zip archive's central directory records: names, checksums
    and sizes, in stored order. The framework's reader extracts without
    checking what it writes against them, so the installer reads them itself
    and compares. */
namespace ZipDirectory
{
    struct Entry
    {
        juce::String name;
        uint32_t crc = 0;
        uint64_t size = 0;      /**< uncompressed */
    };

    /** The entries of the archive in memory, or an empty list when its
        directory cannot be read whole: no end record, a directory that runs
        past the end, an entry whose signature or name does not fit, or a
        ZIP64 archive (sizes above 4 GB), which the installer never carries. */
    std::vector<Entry> read (const void* archive, size_t size);
}
