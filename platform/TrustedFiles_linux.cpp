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
        FileResult untrusted (const juce::String& path, const juce::String& why)
        {
            return { FileError::accessDenied, EACCES, why, path };
        }

        /** Why a folder or file is not to be believed, or "": root's own, and
            nobody else may change it (group and others; an ACL's named
            entries show in the group bits as its mask). Others may add to a
            folder with the sticky bit, which keeps them from removing or
            renaming root's entries. */
        juce::String distrustOf (const struct stat& st)
        {
            if (! isElevated())
                return {};

            if (st.st_uid != 0)
                return "it is not owned by root";

            const bool othersMayWrite = (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
            if (othersMayWrite && ! (S_ISDIR (st.st_mode) && (st.st_mode & S_ISVTX) != 0))
                return S_ISDIR (st.st_mode) ? "others may remove or rename what is in it" : "others may change it";

            return {};
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
        {
            // Said as what it is: a link (which an elevated program never
            // follows here), or something other than a folder.
            const auto error = errno;
            struct stat what;
            if (::fstatat (parentFd, name.toRawUTF8(), &what, AT_SYMLINK_NOFOLLOW) == 0)
            {
                if (S_ISLNK (what.st_mode))
                    return untrusted (path, "it is a link");

                if (! S_ISDIR (what.st_mode))
                    return untrusted (path, "it is not a folder");
            }

            return fileResultFor (error, path);
        }

        Folder folder (fd, base.getChildFile (name));
        struct stat st;
        if (::fstat (fd, &st) != 0)
            return fileResultFor (errno, path);

        if (const auto why = distrustOf (st); why.isNotEmpty())
            return untrusted (path, why);

        out = std::move (folder);
        return {};
    }

    FileResult readTrustedFile (const Folder& folder, const juce::String& name, juce::int64 maxBytes, FileContent& out)
    {
        const auto path = folder.pathOf (name);

        if (! isSingleName (name))
            return fileResultFor (EINVAL, path);

        // Looked at before it is opened: only a plain file of root's is opened
        // at all, without waiting (a pipe could block), and checked again open.
        struct stat listed, st;
        if (::fstatat ((int) folder.getHandle(), name.toRawUTF8(), &listed, isElevated() ? AT_SYMLINK_NOFOLLOW : 0) != 0)
            return fileResultFor (errno, path);

        if (S_ISLNK (listed.st_mode))
            return untrusted (path, "it is a link");

        if (! S_ISREG (listed.st_mode))
            return untrusted (path, "it is not a plain file");

        if (const auto why = distrustOf (listed); why.isNotEmpty())
            return untrusted (path, why);

        const auto fd = ::openat ((int) folder.getHandle(), name.toRawUTF8(),
                                  O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | noFollowWhenElevated());
        if (fd < 0)
            return errno == ELOOP ? untrusted (path, "it is a link") : fileResultFor (errno, path);

        const juce::ScopeGuard closeFile { [fd] { ::close (fd); } };

        if (::fstat (fd, &st) != 0)
            return fileResultFor (errno, path);

        if (st.st_dev != listed.st_dev || st.st_ino != listed.st_ino || ! S_ISREG (st.st_mode))
            return untrusted (path, "it was replaced while it was read");

        if (st.st_size > maxBytes)
            return untrusted (path, "it is larger than a settings file can be");

        if (const auto why = distrustOf (st); why.isNotEmpty())
            return untrusted (path, why);

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

    namespace
    {
        /** A new file beside `name`, filled by `fill` (0 or an errno), flushed
            and renamed over it in one step. */
        FileResult replaceWith (const Folder& folder, const juce::String& name, const std::function<int (int file)>& fill)
        {
            const auto path = folder.pathOf (name);
            const auto fd = (int) folder.getHandle();

            if (! isSingleName (name))
                return fileResultFor (EINVAL, path);

            // Named after this process so that two programs writing at once
            // never share one, under a name nobody else holds: others may add
            // names to a shared folder, and one of theirs is passed over,
            // never removed or used.
            int file = -1;
            juce::String temporary;

            for (int attempt = 0; attempt < 100 && file < 0; ++attempt)
            {
                temporary = "." + name + "." + juce::String ((int) ::getpid()) + "-" + juce::String (attempt) + ".tsr-new";
                file = ::openat (fd, temporary.toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);

                if (file < 0 && errno != EEXIST)
                    break;
            }

            if (file < 0)
                return fileResultFor (errno, path);

            auto written = fill (file);
            if (written == 0 && ::fdatasync (file) != 0)
                written = errno;

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

        /** Writes all of the bytes; 0, or the errno. */
        int writeAll (int file, const char* bytes, size_t size)
        {
            for (size_t done = 0; done < size;)
            {
                const auto n = ::write (file, bytes + done, size - done);
                if (n < 0 && errno == EINTR)
                    continue;

                if (n < 0)
                    return errno;

                done += (size_t) n;
            }

            return 0;
        }

        /** Hands what was written so far to the disk in the background, so
            that the flush at the end waits only for the tail of a large file. */
        void startWriting (int file, off64_t from, off64_t length)
        {
            std::ignore = ::sync_file_range (file, from, length, SYNC_FILE_RANGE_WRITE);
        }
    }

    FileResult replaceTrustedFile (const Folder& folder, const juce::String& name, juce::InputStream& source)
    {
        return replaceWith (folder, name, [&source] (int file)
        {
            std::vector<char> buffer (1 << 20);
            off64_t total = 0;

            for (;;)
            {
                const auto got = source.read (buffer.data(), (int) buffer.size());
                if (got <= 0)
                    break;

                if (const auto error = writeAll (file, buffer.data(), (size_t) got); error != 0)
                    return error;

                startWriting (file, total, got);
                total += got;
            }

            return source.isExhausted() ? 0 : EIO;
        });
    }

    FileResult replaceTrustedFile (const Folder& folder, const juce::String& name, const juce::File& source)
    {
        const auto from = ::open (source.getFullPathName().toRawUTF8(), O_RDONLY | O_CLOEXEC);
        if (from < 0)
            return fileResultFor (errno, source.getFullPathName());

        const juce::ScopeGuard closeSource { [from] { ::close (from); } };

        // Copied by the system, without passing through this process.
        return replaceWith (folder, name, [from] (int file)
        {
            off64_t total = 0;

            for (;;)
            {
                auto n = ::copy_file_range (from, nullptr, file, nullptr, 8 << 20, 0);
                if (n < 0 && errno == EINTR)
                    continue;

                // Where the system cannot copy between these two files, this
                // process copies: read, then write.
                if (n < 0 && total == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL))
                {
                    std::vector<char> buffer (1 << 20);

                    for (;;)
                    {
                        const auto got = ::read (from, buffer.data(), buffer.size());
                        if (got < 0 && errno == EINTR)
                            continue;

                        if (got <= 0)
                            return got == 0 ? 0 : errno;

                        if (const auto error = writeAll (file, buffer.data(), (size_t) got); error != 0)
                            return error;
                    }
                }

                if (n < 0)
                    return errno;

                if (n == 0)
                    return 0;

                startWriting (file, total, n);
                total += n;
            }
        });
    }
}

#endif
