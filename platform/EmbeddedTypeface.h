#pragma once

#include <juce_graphics/juce_graphics.h>

namespace platform
{
    /** A typeface made from font-file bytes held in memory.

        On Linux the framework's first typeface opens every font file that the
        system's font configuration names, so that fonts can later be found by
        name; that costs about 30 ms, nearly half of this program's start. The
        program draws only its embedded faces, so that one-time scan is pointed
        at no folder, unless the user chose the folders with JUCE_FONT_PATH. */
    juce::Typeface::Ptr typefaceFromFontData (const void* data, size_t size);
}
