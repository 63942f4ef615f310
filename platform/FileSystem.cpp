// The parts of the file seam that are the same on every system.

#include "FileSystem.h"

namespace platform
{
    void pauseUnlessStopped (int milliseconds, const std::function<bool()>& stopWaiting)
    {
        constexpr int slice = 20;

        for (int left = milliseconds; left > 0; left -= slice)
        {
            if (stopWaiting && stopWaiting())
                return;

            juce::Thread::sleep (std::min (left, slice));
        }
    }
}
