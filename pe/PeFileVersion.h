#pragma once

#include <juce_core/juce_core.h>

/** "major.minor.build.revision" from the version resource of a Windows binary,
    read with the project's own reader; "" for anything that is not a readable
    image with a version (a folder, a missing or empty file, a damaged binary). */
juce::String peFileVersion (const juce::File& binary);

/** The same over a seekable stream. */
juce::String peFileVersion (juce::InputStream& stream);
