#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <memory>

namespace platform
{
    /** Under Wine, JUCE's windows stop repainting after their first frame: JUCE 7
        repaints from a vertical-blank thread whose wait Wine does not implement.
        This returns a running 60 Hz timer that flushes pending repaints of every
        window, or nullptr when the program is not running under Wine. */
    std::unique_ptr<juce::Timer> makeWineRepaintPump();

    /** Paints now what every window has pending: the pump's one step. */
    void repaintEveryWindowNow();
}
