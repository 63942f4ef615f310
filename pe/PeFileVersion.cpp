#include "PeFileVersion.h"
#include "PeVersionReader.h"
#include <cstring>
#include <limits>

namespace
{
    /** The reader asks for a dozen small pieces that lie in three places: the
        headers, the resource tree and the version data. Reading a small window
        at each place turns those into about three reads. Detection runs on
        every paint, so the system calls count. */
    class WindowedReads
    {
    public:
        WindowedReads (juce::InputStream& s, juce::int64 length) : stream (s), total (length) {}

        bool read (uint64_t offset, void* destination, size_t size)
        {
            if (size > sizeof (window))
                return stream.setPosition ((juce::int64) offset) && stream.read (destination, (int) size) == (int) size;

            if (windowSize < 0 || offset < windowStart || offset + size > windowStart + (uint64_t) windowSize)
            {
                if ((juce::int64) offset >= total || ! stream.setPosition ((juce::int64) offset))
                    return false;

                windowStart = offset;
                windowSize = std::max (0, stream.read (window, (int) std::min<juce::int64> ((juce::int64) sizeof (window),
                                                                                           total - (juce::int64) offset)));
                if (windowSize < (int) size)
                    return false;
            }

            std::memcpy (destination, window + (offset - windowStart), size);
            return true;
        }

    private:
        juce::InputStream& stream;
        juce::int64 total;
        char window[1024];
        uint64_t windowStart = 0;
        int windowSize = -1;
    };
}

static juce::String versionOf (juce::InputStream& stream, juce::int64 length)
{
    WindowedReads reads (stream, length);
    const auto version = PeVersionReader::read ([&reads] (uint64_t offset, void* destination, size_t size)
                                                { return reads.read (offset, destination, size); },
                                                (uint64_t) length);
    if (! version)
        return {};

    return juce::String (version->major) + "." + juce::String (version->minor) + "."
         + juce::String (version->build) + "." + juce::String (version->revision);
}

juce::String peFileVersion (juce::InputStream& stream)
{
    const auto length = stream.getTotalLength();
    return length > 0 ? versionOf (stream, length) : juce::String();
}

juce::String peFileVersion (const juce::File& binary)
{
    // No existence or size queries first: opening answers the one, and short
    // reads at the end of the file answer the other. A folder opens but
    // cannot be read.
    juce::FileInputStream stream (binary);
    return stream.openedOk() ? versionOf (stream, std::numeric_limits<juce::int64>::max()) : juce::String();
}
