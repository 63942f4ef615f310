#include "TrustedFiles.h"

#if ! JUCE_WINDOWS

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{
    bool isElevated()
    {
        return ::geteuid() == 0;
    }

    void enableRedirectionGuard() {}

    namespace
    {
        FileResult untrusted (const juce::String& path)
        {
            return { FileError::accessDenied, EACCES, "owned by or writable for another user", path };
        }

        /** Root's own, and writable by nobody else (group and others; an ACL's
            named entries show in the group bits as its mask). */
        bool isTrusted (const struct stat& st)
        {
            return ! isElevated() || (st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0);
        }

        bool isUsable (const juce::File& base)
        {
            return base != juce::File() && base.getFullPathName().startsWithChar ('/');
        }

        /** Links are followed only for a user's own files, as they always were. */
        int noFollowWhenElevated()
        {
            return isElevated() ? O_NOFOLLOW : 0;
        }
    }

    FileResult openTrustedFolder (const juce::File& base, const juce::String& name, bool create, Folder& out)
    {
        const auto path = base.getChildFile (name).getFullPathName();

        if (! isSingleName (name))
            return fileResultFor (EINVAL, path);

        // A user's data folder may not exist yet on a new account.
        if (create && isUsable (base))
            base.createDirectory();

        Folder parent;
        if (auto result = systemFileSystem().openFolder (base, parent); ! result.ok())
            return result;

        const auto parentFd = (int) parent.getHandle();
        const auto flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | noFollowWhenElevated();
        auto fd = ::openat (parentFd, name.toRawUTF8(), flags);

        if (fd < 0 && errno == ENOENT && create)
        {
            // Made by root with no write for others, it is trusted as made.
            if (::mkdirat (parentFd, name.toRawUTF8(), 0755) != 0 && errno != EEXIST)
                return fileResultFor (errno, path);

            fd = ::openat (parentFd, name.toRawUTF8(), flags);
        }

        if (fd < 0)
            return errno == ELOOP ? untrusted (path) : fileResultFor (errno, path);

        Folder folder (fd, base.getChildFile (name));
        struct stat st;
        if (::fstat (fd, &st) != 0)
            return fileResultFor (errno, path);

        if (! isTrusted (st))
            return untrusted (path);

        out = std::move (folder);
        return {};
    }

    FileResult readTrustedFile (const Folder& folder, const juce::String& name, juce::int64 maxBytes, FileContent& out)
    {
        const auto path = folder.pathOf (name);

        if (! isSingleName (name))
            return fileResultFor (EINVAL, path);

        // Opened without waiting, so that a pipe in the file's place cannot block.
        const auto fd = ::openat ((int) folder.getHandle(), name.toRawUTF8(),
                                  O_RDONLY | O_NONBLOCK | O_CLOEXEC | noFollowWhenElevated());
        if (fd < 0)
            return errno == ELOOP ? untrusted (path) : fileResultFor (errno, path);

        const juce::ScopeGuard closeFile { [fd] { ::close (fd); } };

        struct stat st;
        if (::fstat (fd, &st) != 0)
            return fileResultFor (errno, path);

        if (! S_ISREG (st.st_mode) || st.st_size > maxBytes)
            return fileResultFor (EACCES, path);

        if (! isTrusted (st))
            return untrusted (path);

        // One byte more than the file had is asked for: a file that grows
        // while it is read is refused rather than read past the limit.
        out.bytes.assign ((size_t) st.st_size + 1, '\0');
        size_t got = 0;

        for (;;)
        {
            const auto n = ::read (fd, out.bytes.data() + got, out.bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;

            if (n < 0)
                return fileResultFor (errno, path);

            if (n == 0 || (got += (size_t) n) == out.bytes.size())
                break;
        }

        if (got > (size_t) st.st_size)
            return fileResultFor (EFBIG, path);

        out.bytes.resize (got);
        out.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::faccessat ((int) folder.getHandle(), name.toRawUTF8(), W_OK, AT_EACCESS) != 0;
        return {};
    }

    FileResult replaceTrustedFile (const Folder& folder, const juce::String& name, const std::string& bytes)
    {
        const auto path = folder.pathOf (name);
        const auto fd = (int) folder.getHandle();
        // Named after this process, so that two programs writing at once
        // never write into one temporary file.
        const auto temporary = "." + name + "." + juce::String ((int) ::getpid()) + ".tsr-new";

        if (! isSingleName (name))
            return fileResultFor (EINVAL, path);

        // A leftover of an earlier process with this number goes first.
        ::unlinkat (fd, temporary.toRawUTF8(), 0);

        const auto file = ::openat (fd, temporary.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (file < 0)
            return fileResultFor (errno, path);

        auto written = [&]
        {
            for (size_t done = 0; done < bytes.size();)
            {
                const auto n = ::write (file, bytes.data() + done, bytes.size() - done);
                if (n < 0 && errno == EINTR)
                    continue;

                if (n < 0)
                    return errno;

                done += (size_t) n;
            }

            return ::fdatasync (file) == 0 ? 0 : errno;
        }();

        if (::close (file) != 0 && written == 0)
            written = errno;

        if (written == 0 && ::renameat (fd, temporary.toRawUTF8(), fd, name.toRawUTF8()) != 0)
            written = errno;

        if (written != 0)
        {
            ::unlinkat (fd, temporary.toRawUTF8(), 0);
            return fileResultFor (written, path);
        }

        std::ignore = ::fsync (fd);
        return {};
    }
}

#endif
