#include "FolderLock.h"

#if JUCE_WINDOWS

#include <windows.h>

namespace platform
{
    struct FolderLock::Native
    {
        explicit Native (const juce::String& name) : lock (name) {}

        juce::InterProcessLock lock;
        bool held = false;
    };

    static juce::String lockNameFor (const Folder& folder)
    {
        BY_HANDLE_FILE_INFORMATION info {};
        if (GetFileInformationByHandle (reinterpret_cast<HANDLE> (folder.getHandle()), &info))
            return "tsr_installer.folder." + juce::String::toHexString ((juce::int64) info.dwVolumeSerialNumber) + "."
                    + juce::String::toHexString (((juce::int64) info.nFileIndexHigh << 32) | info.nFileIndexLow);

        return "tsr_installer.folder." + juce::String::toHexString (folder.getPath().getFullPathName().toLowerCase().hashCode64());
    }

    FolderLock::FolderLock (const Folder& folder) : native (std::make_unique<Native> (lockNameFor (folder))) {}

    FolderLock::~FolderLock()
    {
        if (native->held)
            native->lock.exit();
    }

    bool FolderLock::enter (int timeoutMilliseconds)
    {
        if (! native->held)
            native->held = native->lock.enter (timeoutMilliseconds);

        return native->held;
    }
}

#else

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform
{
    struct FolderLock::Native
    {
        int fd = -1;
        bool held = false;
    };

    FolderLock::FolderLock (const Folder& folder) : native (std::make_unique<Native>())
    {
        // A description of the folder's own, so that the lock belongs to this
        // object and a second one in the same process is kept out too.
        native->fd = ::openat ((int) folder.getHandle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }

    FolderLock::~FolderLock()
    {
        if (native->fd >= 0)
            ::close (native->fd);    // releases the lock
    }

    bool FolderLock::enter (int timeoutMilliseconds)
    {
        if (native->held)
            return true;

        if (native->fd < 0)
            return false;

        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) std::max (0, timeoutMilliseconds);

        for (;;)
        {
            if (::flock (native->fd, LOCK_EX | LOCK_NB) == 0)
                return native->held = true;

            if (errno != EWOULDBLOCK && errno != EINTR)
                return false;

            if (juce::Time::getMillisecondCounter() >= end)
                return false;

            juce::Thread::sleep (10);
        }
    }
}

#endif
