#pragma once

#include <juce_graphics/juce_graphics.h>

namespace platform
{
    /** A typeface made from font-file bytes held in memory.

        On Linux the framework's first typeface opens every font file that the
        system's font configuration names, so that fonts can later be found by
        name; that costs about 30 ms, nearly half of this program's start. The
        program draws only its embedded faces, so that one-time scan is pointed
        at no folder, through the environment variable the framework reads
        (JUCE_FONT_PATH), set for the call and removed again at once.

        What it costs: afterwards no system font can be found by name in this
        process; every font the program draws is one of its own, which its
        look-and-feel answers for every request.

        What it relies on: changing the environment is safe only while no other
        thread can read it. The shortcut is taken only when the process has a
        single thread at that moment (the framework has started none of its
        own yet at the main component's construction), and when the user has
        not chosen font folders with JUCE_FONT_PATH; otherwise the scan runs. */
    juce::Typeface::Ptr typefaceFromFontData (const void* data, size_t size);
}
