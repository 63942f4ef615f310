#include "FolderLock.h"
#include "TrustedFiles.h"

#if JUCE_WINDOWS

#include <windows.h>
#include <sddl.h>

namespace platform
{
    namespace
    {
        /** A namespace of kernel objects that only a process holding the
            Administrators group may create or open, so that no other user can
            make (and hold) one of the program's mutexes first. Kept open for
            as long as a mutex in it is used. Where the system has no private
            namespaces (Wine), or the program runs without that group, none is
            made, and the mutex is a global one. */
        struct AdministratorsNamespace
        {
            AdministratorsNamespace()
            {
                const auto boundary = CreateBoundaryDescriptorW (L"tsr_installer", 0);
                if (boundary == nullptr)
                    return;

                BYTE administrators[SECURITY_MAX_SID_SIZE];
                DWORD size = sizeof (administrators);
                auto descriptor = boundary;

                if (CreateWellKnownSid (WinBuiltinAdministratorsSid, nullptr, administrators, &size)
                     && AddSIDToBoundaryDescriptor (&descriptor, administrators))
                {
                    SECURITY_ATTRIBUTES attributes { sizeof (attributes), nullptr, FALSE };
                    if (ConvertStringSecurityDescriptorToSecurityDescriptorW (L"D:P(A;;GA;;;BA)(A;;GA;;;SY)", SDDL_REVISION_1,
                                                                              &attributes.lpSecurityDescriptor, nullptr))
                    {
                        handle = CreatePrivateNamespaceW (&attributes, descriptor, prefix);
                        if (handle == nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
                            handle = OpenPrivateNamespaceW (descriptor, prefix);

                        LocalFree (attributes.lpSecurityDescriptor);
                    }
                }

                DeleteBoundaryDescriptor (descriptor);
            }

            ~AdministratorsNamespace()
            {
                if (handle != nullptr)
                    ClosePrivateNamespace (handle, 0);
            }

            static constexpr const wchar_t* prefix = L"tsr_installer";
            HANDLE handle = nullptr;
        };

        juce::String folderIdentity (const Folder& folder)
        {
            BY_HANDLE_FILE_INFORMATION info {};
            if (GetFileInformationByHandle (reinterpret_cast<HANDLE> (folder.getHandle()), &info))
                return "folder." + juce::String::toHexString ((juce::int64) info.dwVolumeSerialNumber) + "."
                        + juce::String::toHexString (((juce::int64) info.nFileIndexHigh << 32) | info.nFileIndexLow);

            return "folder." + juce::String::toHexString (folder.getPath().getFullPathName().toLowerCase().hashCode64());
        }
    }

    struct FolderLock::Native
    {
        explicit Native (const Folder& folder)
        {
            const auto name = (space.handle != nullptr ? juce::String (AdministratorsNamespace::prefix) + "\\" : juce::String ("Global\\tsr_installer."))
                                + folderIdentity (folder);
            mutex = CreateMutexW (nullptr, FALSE, name.toWideCharPointer());
            openError = mutex == nullptr ? GetLastError() : ERROR_SUCCESS;
        }

        ~Native()
        {
            if (held)
                ReleaseMutex (mutex);

            if (mutex != nullptr)
                CloseHandle (mutex);
        }

        AdministratorsNamespace space;
        HANDLE mutex = nullptr;
        DWORD openError = ERROR_SUCCESS;
        bool held = false;
    };

    FolderLock::FolderLock (const Folder& folder)
        : native (std::make_unique<Native> (folder)), path (folder.getPath().getFullPathName()) {}

    FolderLock::~FolderLock() = default;

    FileResult FolderLock::enter (int timeoutMilliseconds, const std::function<bool()>& stopWaiting)
    {
        if (native->held)
            return {};

        if (native->mutex == nullptr)
            return fileResultFor ((int) native->openError, path);

        // In slices, so that a stop is seen at once.
        for (int left = std::max (0, timeoutMilliseconds);; left -= 20)
        {
            const auto waited = WaitForSingleObject (native->mutex, (DWORD) std::clamp (left, 0, 20));
            native->held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;     // abandoned: its holder died

            if (native->held || left <= 20 || (stopWaiting && stopWaiting()))
                break;
        }

        if (native->held)
            return {};

        return { FileError::inUse, ERROR_LOCK_VIOLATION, "another installer is working in this folder", path };
    }
}

#else

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{
    namespace
    {
        /** Where root keeps its locks: a folder of its own that nobody else may
            enter, so nobody else can take one of them first. */
        constexpr const char* lockParent = "/run";
        constexpr const char* lockFolder = "tsr_installer";

        /** A descriptor to lock for the folder: as root, a file named after the
            folder's device and number in root's own folder; otherwise the
            folder itself, as a user's own program has nobody to fear. */
        int openLockFor (const Folder& folder, int& error)
        {
            const auto fail = [&error] { error = errno; return -1; };

            if (! isElevated())
            {
                // A description of its own, so that the lock belongs to this
                // object and a second one in the same process is kept out too.
                const auto fd = ::openat ((int) folder.getHandle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                return fd < 0 ? fail() : fd;
            }

            struct stat st;
            if (::fstat ((int) folder.getHandle(), &st) != 0)
                return fail();

            const auto parent = ::open (lockParent, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (parent < 0)
                return fail();

            const juce::ScopeGuard closeParent { [parent] { ::close (parent); } };

            if (::mkdirat (parent, lockFolder, 0700) != 0 && errno != EEXIST)
                return fail();

            const auto locks = ::openat (parent, lockFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (locks < 0)
                return fail();

            const juce::ScopeGuard closeLocks { [locks] { ::close (locks); } };

            struct stat own;
            if (::fstat (locks, &own) != 0)
                return fail();

            if (own.st_uid != 0 || (own.st_mode & 077) != 0)
            {
                error = EACCES;
                return -1;
            }

            const auto name = juce::String::toHexString ((juce::int64) st.st_dev) + "-" + juce::String::toHexString ((juce::int64) st.st_ino) + ".lock";
            const auto fd = ::openat (locks, name.toRawUTF8(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
            return fd < 0 ? fail() : fd;
        }
    }

    struct FolderLock::Native
    {
        int fd = -1, openError = 0;
        bool held = false;
    };

    FolderLock::FolderLock (const Folder& folder) : native (std::make_unique<Native>()), path (folder.getPath().getFullPathName())
    {
        native->fd = openLockFor (folder, native->openError);
    }

    FolderLock::~FolderLock()
    {
        if (native->fd >= 0)
            ::close (native->fd);    // releases the lock
    }

    FileResult FolderLock::enter (int timeoutMilliseconds, const std::function<bool()>& stopWaiting)
    {
        if (native->held)
            return {};

        // A lock that cannot be opened is no sign of another installer.
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

            if (juce::Time::getMillisecondCounter() >= end || (stopWaiting && stopWaiting()))
                return { FileError::inUse, EWOULDBLOCK, "another installer is working in this folder", path };

            juce::Thread::sleep (10);
        }
    }
}

#endif
