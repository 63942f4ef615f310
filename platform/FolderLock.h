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
        folders, and it is named after the folder's identity (device or volume,
        and file number), so two spellings of one folder share it. Nobody but
        an administrator can take it: elevated on Linux it is an flock on a
        file in a folder only root may enter (/run/tsr_installer), and on
        Windows a mutex in a namespace only Administrators may create or
        open. Run as a user, it is an flock on the folder itself. A second
        lock taken on another thread of the same process waits too. */
    class FolderLock
    {
    public:
        explicit FolderLock (const Folder& folder);
        ~FolderLock();

        /** Waits up to the given time for the lock (0: one try), less when
            `stopWaiting` says so. Fails with FileError::inUse when another
            copy holds it, and with the system's own error when the lock
            cannot be made at all. */
        [[nodiscard]] FileResult enter (int timeoutMilliseconds, const std::function<bool()>& stopWaiting = {});

    private:
        struct Native;
        std::unique_ptr<Native> native;
        juce::String path;          /**< for messages */

        JUCE_DECLARE_NON_COPYABLE (FolderLock)
    };
}
