#pragma once

#include <juce_core/juce_core.h>
#include <memory>

namespace platform
{
    /** Keeps other copies of the program out of one install folder while this
        one installs, removes or recovers there. Copies may run side by side;
        each takes this lock before it touches a folder's working items.

        On Linux it is an flock on the folder itself: no lock file, and it also
        excludes a second lock taken in the same process. On Windows it is the
        framework's named mutex, named after the folder's path. */
    class FolderLock
    {
    public:
        explicit FolderLock (const juce::File& folder);
        ~FolderLock();

        /** Waits up to the given time for the lock (0: one try). False when
            another copy holds it, or the folder cannot be opened. */
        [[nodiscard]] bool enter (int timeoutMilliseconds);

    private:
        struct Native;
        std::unique_ptr<Native> native;
        juce::File folder;

        JUCE_DECLARE_NON_COPYABLE (FolderLock)
    };
}
