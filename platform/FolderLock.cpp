#include "FolderLock.h"

#if JUCE_WINDOWS

namespace platform
{
    struct FolderLock::Native
    {
        explicit Native (const juce::File& folder)
            : lock ("tsr_installer.folder." + juce::String::toHexString (folder.getFullPathName().toLowerCase().hashCode64()))
        {}

        juce::InterProcessLock lock;
        bool held = false;
    };

    FolderLock::FolderLock (const juce::File& f) : native (std::make_unique<Native> (f)), folder (f) {}

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

    FolderLock::FolderLock (const juce::File& f) : native (std::make_unique<Native>()), folder (f) {}

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
            native->fd = ::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

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
