#pragma once

#include <cstdint>
#include <functional>
#include <optional>

/** Reads the fixed file version from the version resource of a Windows PE image
    (a .dll, .vst3, .clap or .aaxplugin binary) without the Windows loader.

    It reads only the headers, the section table and the few resource records on
    the way to VS_VERSION_INFO: a few hundred bytes, whatever the size of the
    binary. Every offset is checked against the file before it is used, so a
    truncated, malformed or hostile file gives no version rather than a crash,
    a hang or a large allocation. */
namespace PeVersionReader
{
    struct Version
    {
        uint16_t major = 0, minor = 0, build = 0, revision = 0;
        bool operator== (const Version& other) const
        {
            return major == other.major && minor == other.minor && build == other.build && revision == other.revision;
        }
    };

    /** Reads `size` bytes at `offset` into `destination`; false when it cannot. */
    using ReadAt = std::function<bool (uint64_t offset, void* destination, size_t size)>;

    /** The fixed file version of an image of `fileSize` bytes, read through `readAt`.
        Plain C++ with no framework, so that it can be fuzzed on its own. */
    std::optional<Version> read (const ReadAt& readAt, uint64_t fileSize);
}
