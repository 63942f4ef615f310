#pragma once

#include <juce_core/juce_core.h>
#include <functional>

/** "major.minor.build.revision" from the version resource of a Windows binary,
    read with the project's own reader; "" for anything that is not a readable
    image with a version (a folder, a missing or empty file, a damaged binary). */
juce::String peFileVersion (const juce::File& binary);

/** The same over a seekable stream. */
juce::String peFileVersion (juce::InputStream& stream);

/** Reads up to `size` bytes at `offset` into `destination`: how many it read,
    fewer at the end of the data, or -1 when it cannot. */
using ReadSomeAt = std::function<juce::int64 (juce::uint64 offset, void* destination, size_t size)>;

/** The same over data of `length` bytes read through `readSomeAt`, such as an
    open file's. */
juce::String peFileVersion (const ReadSomeAt& readSomeAt, juce::uint64 length);
