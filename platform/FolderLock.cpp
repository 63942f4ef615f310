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

    FolderLock::FolderLock (const Folder& folder)
        : native (std::make_unique<Native> (lockNameFor (folder))), path (folder.getPath().getFullPathName()) {}

    FolderLock::~FolderLock()
    {
        if (native->held)
            native->lock.exit();
    }

    FileResult FolderLock::enter (int timeoutMilliseconds)
    {
        if (! native->held)
            native->held = native->lock.enter (timeoutMilliseconds);

        if (native->held)
            return {};

        return { FileError::inUse, ERROR_LOCK_VIOLATION, "another installer is working in this folder", path };
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
        int fd = -1, openError = 0;
        bool held = false;
    };

    FolderLock::FolderLock (const Folder& folder) : native (std::make_unique<Native>()), path (folder.getPath().getFullPathName())
    {
        // A description of the folder's own, so that the lock belongs to this
        // object and a second one in the same process is kept out too.
        native->fd = ::openat ((int) folder.getHandle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        native->openError = native->fd < 0 ? errno : 0;
    }

    FolderLock::~FolderLock()
    {
        if (native->fd >= 0)
            ::close (native->fd);    // releases the lock
    }

    FileResult FolderLock::enter (int timeoutMilliseconds)
    {
        if (native->held)
            return {};

        // A folder that cannot be opened is no sign of another installer.
        if (native->fd < 0)
            return fileResultFor (native->openError, path);

        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) std::max (0, timeoutMilliseconds);

        for (;;)
        {
            if (::flock (native->fd, LOCK_EX | LOCK_NB) == 0)
            {
                native->held = true;
                return {};
            }

            if (errno != EWOULDBLOCK && errno != EINTR)
                return fileResultFor (errno, path);

            if (juce::Time::getMillisecondCounter() >= end)
                return { FileError::inUse, EWOULDBLOCK, "another installer is working in this folder", path };

            juce::Thread::sleep (10);
        }
    }
}

#endif
