#include "PeFileVersion.h"
#include "PeVersionReader.h"

juce::String peFileVersion (juce::InputStream& stream)
{
    const auto length = stream.getTotalLength();
    if (length <= 0)
        return {};

    const auto version = PeVersionReader::read ([&stream] (uint64_t offset, void* destination, size_t size)
                                                {
                                                    return stream.setPosition ((juce::int64) offset)
                                                            && stream.read (destination, (int) size) == (int) size;
                                                },
                                                (uint64_t) length);
    if (! version)
        return {};

    return juce::String (version->major) + "." + juce::String (version->minor) + "."
         + juce::String (version->build) + "." + juce::String (version->revision);
}

juce::String peFileVersion (const juce::File& binary)
{
    if (! binary.existsAsFile())
        return {};

    juce::FileInputStream stream (binary);
    return stream.openedOk() ? peFileVersion (stream) : juce::String();
}
