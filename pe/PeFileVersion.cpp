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
        WindowedReads (const ReadSomeAt& r, juce::uint64 length) : readSomeAt (r), total (length) {}

        bool read (uint64_t offset, void* destination, size_t size)
        {
            if (size > sizeof (window))
                return readSomeAt (offset, destination, size) == (juce::int64) size;

            if (windowSize < 0 || offset < windowStart || offset + size > windowStart + (uint64_t) windowSize)
            {
                if (offset >= total)
                    return false;

                windowStart = offset;
                windowSize = (int) std::max<juce::int64> (0, readSomeAt (offset, window, (size_t) std::min<juce::uint64> (sizeof (window),
                                                                                                                         total - offset)));
                if (windowSize < (int) size)
                    return false;
            }

            std::memcpy (destination, window + (offset - windowStart), size);
            return true;
        }

    private:
        const ReadSomeAt& readSomeAt;
        juce::uint64 total;
        char window[1024];
        uint64_t windowStart = 0;
        int windowSize = -1;
    };
}

juce::String peFileVersion (const ReadSomeAt& readSomeAt, juce::uint64 length)
{
    WindowedReads reads (readSomeAt, length);
    const auto version = PeVersionReader::read ([&reads] (uint64_t offset, void* destination, size_t size)
                                                { return reads.read (offset, destination, size); },
                                                (uint64_t) length);
    if (! version)
        return {};

    return juce::String (version->major) + "." + juce::String (version->minor) + "."
         + juce::String (version->build) + "." + juce::String (version->revision);
}

static juce::String versionOf (juce::InputStream& stream, juce::uint64 length)
{
    return peFileVersion ([&stream] (juce::uint64 offset, void* destination, size_t size) -> juce::int64
                          {
                              return stream.setPosition ((juce::int64) offset) ? stream.read (destination, (int) size) : -1;
                          },
                          length);
}

juce::String peFileVersion (juce::InputStream& stream)
{
    const auto length = stream.getTotalLength();
    return length > 0 ? versionOf (stream, (juce::uint64) length) : juce::String();
}

juce::String peFileVersion (const juce::File& binary)
{
    // No existence or size queries first: opening answers the one, and short
    // reads at the end of the file answer the other. A folder opens but
    // cannot be read.
    juce::FileInputStream stream (binary);
    return stream.openedOk() ? versionOf (stream, (juce::uint64) std::numeric_limits<juce::int64>::max()) : juce::String();
}
