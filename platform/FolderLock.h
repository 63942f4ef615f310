#pragma once

#include "FileSystem.h"
#include <memory>

namespace platform
{
    /** Keeps other copies of the program out of one install folder while this
        one installs, removes or recovers there. Copies may run side by side;
        each takes this lock before it touches a folder's working items.

        It is taken on the open folder, never by its path again, so a link put
        in the folder's place meanwhile cannot make two copies lock different
        folders. On Linux it is an flock on the folder itself: no lock file,
        and it also excludes a second lock taken in the same process. On
        Windows it is a named mutex, named after the folder's identity (volume
        and file number), so two spellings of one folder share it. */
    class FolderLock
    {
    public:
        explicit FolderLock (const Folder& folder);
        ~FolderLock();

        /** Waits up to the given time for the lock (0: one try). Fails with
            FileError::inUse when another copy holds it, and with the system's
            own error when the lock cannot be made at all. */
        [[nodiscard]] FileResult enter (int timeoutMilliseconds);

    private:
        struct Native;
        std::unique_ptr<Native> native;
        juce::String path;          /**< for messages */

        JUCE_DECLARE_NON_COPYABLE (FolderLock)
    };
}
