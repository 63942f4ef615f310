#include "FileSystem.h"

#if JUCE_WINDOWS

#include "WindowsFiles.h"
#include <restartmanager.h>

namespace platform
{
    FileResult fileResultFor (int code, const juce::String& path)
    {
        const auto kind = [code]
        {
            switch ((DWORD) code)
            {
                case ERROR_SUCCESS:                 return FileError::none;
                case ERROR_ACCESS_DENIED:
                case ERROR_WRITE_PROTECT:
                case ERROR_PRIVILEGE_NOT_HELD:      return FileError::accessDenied;
                case ERROR_SHARING_VIOLATION:
                case ERROR_LOCK_VIOLATION:
                case ERROR_USER_MAPPED_FILE:
                case ERROR_BUSY:                    return FileError::inUse;
                case ERROR_DISK_FULL:
                case ERROR_HANDLE_DISK_FULL:
                case 1295 /* ERROR_DISK_QUOTA_EXCEEDED */:  return FileError::diskFull;
                case ERROR_ALREADY_EXISTS:
                case ERROR_FILE_EXISTS:
                case ERROR_DIR_NOT_EMPTY:           return FileError::alreadyExists;
                case ERROR_FILE_NOT_FOUND:
                case ERROR_PATH_NOT_FOUND:          return FileError::missing;
                default:                            return FileError::other;
            }
        }();

        if (kind == FileError::none)
            return {};

        WCHAR text[512] = {};
        const auto length = FormatMessageW (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            (DWORD) code, 0, text, (DWORD) juce::numElementsInArray (text), nullptr);
        const auto message = length > 0 ? juce::String (text).trim() : "error " + juce::String (code);
        return { kind, code, message, path };
    }

    bool isSingleName (const juce::String& name)
    {
        // A colon would name a stream of the file rather than an entry.
        return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf ("/\\:") && ! name.containsChar (0);
    }

    //==============================================================================
    void Folder::close() noexcept
    {
        if (handle != invalid)
            CloseHandle (reinterpret_cast<HANDLE> (std::exchange (handle, invalid)));
    }

    /** A handle open for writing. */
    struct OpenFile::Native
    {
        explicit Native (HANDLE h) noexcept : handle (h) {}
        ~Native()  { if (handle != INVALID_HANDLE_VALUE) CloseHandle (handle); }

        HANDLE handle;

        JUCE_DECLARE_NON_COPYABLE (Native)
    };

    void OpenFile::NativeDeleter::operator() (Native* native) const noexcept  { delete native; }

    namespace
    {
        using windows::ScopedHandle;
        using windows::openRelative;
        using windows::openEntry;
        using windows::attributesOf;

        constexpr ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        constexpr ACCESS_MASK folderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;

        // NtSetInformationFile's classes, numbered as the system numbers them.
        constexpr auto fileDispositionInformation       = (FILE_INFORMATION_CLASS) 13;
        constexpr auto fileDispositionInformationEx     = (FILE_INFORMATION_CLASS) 64;
        constexpr ULONG dispositionDelete = 0x1, dispositionPosix = 0x2, dispositionIgnoreReadOnly = 0x10;
        constexpr NTSTATUS statusCannotDelete = (NTSTATUS) 0xC0000121L;

        HANDLE handleOf (const Folder& f)         { return reinterpret_cast<HANDLE> (f.getHandle()); }
        HANDLE handleOf (const OpenFile& f)       { return f.getNative()->handle; }
        FileResult fromLastError (const juce::String& path)             { return fileResultFor ((int) GetLastError(), path); }
        FileResult fromCall (BOOL succeeded, const juce::String& path)  { return succeeded ? FileResult {} : fromLastError (path); }

        /** The code used when a name turns out to be a link where a folder was
            expected, or a folder where a file was. */
        constexpr DWORD notWhatWasExpected = ERROR_CANT_RESOLVE_FILENAME;

        /** Marks an open entry for deletion: POSIX semantics where the system
            has them (the name goes at once, even while others hold the file),
            else delete-on-close. A read-only mark is ignored, or cleared on
            this handle when the file has no other name. A mapped image (a
            plug-in a host has loaded) is in use. */
        DWORD deleteByHandle (HANDLE handle)
        {
            IO_STATUS_BLOCK io {};
            ULONG flags = dispositionDelete | dispositionPosix | dispositionIgnoreReadOnly;

            auto status = NtSetInformationFile (handle, &io, &flags, sizeof (flags), fileDispositionInformationEx);
            if (status >= 0)
                return ERROR_SUCCESS;

            FILE_DISPOSITION_INFO disposition { TRUE };
            status = NtSetInformationFile (handle, &io, &disposition, sizeof (disposition), fileDispositionInformation);
            if (status >= 0)
                return ERROR_SUCCESS;

            BY_HANDLE_FILE_INFORMATION info {};
            const bool known = GetFileInformationByHandle (handle, &info) != FALSE;
            const bool readOnly = known && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;

            // The mark belongs to the file, not to this name of it: with other
            // names (hard links) elsewhere, clearing it would unprotect a file
            // that is not the program's to change. Left, and said.
            if (status == statusCannotDelete && readOnly && info.nNumberOfLinks > 1)
                return ERROR_ACCESS_DENIED;

            if (status == statusCannotDelete && readOnly)
            {
                FILE_BASIC_INFO basic {};
                if (GetFileInformationByHandleEx (handle, FileBasicInfo, &basic, sizeof (basic)))
                {
                    basic.FileAttributes &= ~(DWORD) FILE_ATTRIBUTE_READONLY;
                    if (basic.FileAttributes == 0)
                        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;

                    if (SetFileInformationByHandle (handle, FileBasicInfo, &basic, sizeof (basic)))
                    {
                        status = NtSetInformationFile (handle, &io, &disposition, sizeof (disposition), fileDispositionInformation);
                        if (status >= 0)
                            return ERROR_SUCCESS;

                        basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
                        SetFileInformationByHandle (handle, FileBasicInfo, &basic, sizeof (basic));
                    }
                }
            }

            return status == statusCannotDelete && ! readOnly ? (DWORD) ERROR_USER_MAPPED_FILE : windows::errorFor (status);
        }

        class SystemFileSystem final : public FileSystem
        {
        public:
            FileResult openFolder (const juce::File& path, Folder& out) override
            {
                // The framework gives a drive's root as the parent of a folder
                // on it without its backslash, "C:", which the system reads as
                // the drive's current folder: the working folder, when it is
                // on that drive.
                auto fullPath = path.getFullPathName();
                if (fullPath.length() == 2 && fullPath[1] == ':')
                    fullPath << '\\';

                const auto handle = CreateFileW (fullPath.toWideCharPointer(), folderAccess, shareAll, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
                if (handle == INVALID_HANDLE_VALUE)
                    return fromLastError (fullPath);

                if ((attributesOf (handle) & FILE_ATTRIBUTE_DIRECTORY) == 0)
                {
                    CloseHandle (handle);
                    return fileResultFor (ERROR_DIRECTORY, fullPath);
                }

                out = Folder (reinterpret_cast<std::intptr_t> (handle), path);
                return {};
            }

            FileResult openFolder (const Folder& parent, const juce::String& name, Folder& out) override
            {
                if (! isSingleName (name))
                    return fileResultFor (ERROR_INVALID_NAME, parent.pathOf (name));

                // A junction or link is never a folder to work in.
                auto opened = openEntry (handleOf (parent), name, folderAccess, shareAll, FILE_DIRECTORY_FILE, false);
                if (! opened.ok())
                    return fileResultFor ((int) opened.error, parent.pathOf (name));

                out = Folder (reinterpret_cast<std::intptr_t> (opened.handle), parent.getPath().getChildFile (name));
                return {};
            }

            FileResult createFolder (const Folder& parent, const juce::String& name) override
            {
                if (! isSingleName (name))
                    return fileResultFor (ERROR_INVALID_NAME, parent.pathOf (name));

                auto created = openRelative (handleOf (parent), name, FILE_LIST_DIRECTORY, shareAll, FILE_CREATE, FILE_DIRECTORY_FILE);
                if (! created.ok())
                    return fileResultFor ((int) created.error, parent.pathOf (name));

                CloseHandle (created.handle);
                return {};
            }

            FileResult createFile (const Folder& parent, const juce::String& name, OpenFile& out) override
            {
                if (! isSingleName (name))
                    return fileResultFor (ERROR_INVALID_NAME, parent.pathOf (name));

                // Others may read it while it is written (a log followed as it
                // grows), never write to it or take it away.
                auto opened = openRelative (handleOf (parent), name, GENERIC_WRITE, FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
                if (! opened.ok())
                    return fileResultFor ((int) opened.error, parent.pathOf (name));

                out = OpenFile (parent.pathOf (name), OpenFile::NativePtr (new OpenFile::Native (opened.handle)));
                return {};
            }

            FileResult write (OpenFile& file, const void* data, size_t size) override
            {
                const auto* bytes = static_cast<const char*> (data);

                // WriteFile takes at most 4 GB at a time.
                while (size > 0)
                {
                    DWORD written = 0;
                    const auto chunk = (DWORD) std::min<size_t> (size, 1u << 30);

                    if (! WriteFile (handleOf (file), bytes, chunk, &written, nullptr))
                        return fromLastError (file.getPath());

                    bytes += written;
                    size -= written;
                }

                return {};
            }

            FileResult flush (OpenFile& file) override
            {
                return fromCall (FlushFileBuffers (handleOf (file)), file.getPath());
            }

            FileResult close (OpenFile& file) override
            {
                const auto native = file.release();
                return fromCall (CloseHandle (std::exchange (native->handle, INVALID_HANDLE_VALUE)), file.getPath());
            }

            FileResult move (const Folder& from, const juce::String& fromName, const Folder& to, const juce::String& toName) override
            {
                const auto path = from.pathOf (fromName);

                if (! isSingleName (fromName) || ! isSingleName (toName))
                    return fileResultFor (ERROR_INVALID_NAME, path);

                auto opened = openEntry (handleOf (from), fromName, DELETE | FILE_READ_ATTRIBUTES, shareAll, 0, true);
                if (! opened.ok())
                    return fileResultFor ((int) opened.error, path);

                ScopedHandle source (opened.handle);

                // Windows renames the object the handle holds. A system that
                // renames by path instead (Wine) would follow a folder swapped
                // for a link since: both folders must still be where their
                // paths lead.
                if (! windows::isReachedByItsPath (handleOf (from)) || ! windows::isReachedByItsPath (handleOf (to)))
                    return fileResultFor ((int) notWhatWasExpected, path);

                const auto error = windows::renameTo (source.handle, handleOf (to), toName, false);
                if (error == ERROR_SUCCESS)
                    return {};

                auto result = fileResultFor ((int) error, path);

                // A folder with a file open inside cannot be renamed either, and
                // Windows says "access denied" for that too; the right to delete
                // the folder was just granted, so a file inside is in use.
                if ((DWORD) result.code == ERROR_ACCESS_DENIED && (attributesOf (source.handle) & FILE_ATTRIBUTE_DIRECTORY) != 0)
                    result.error = FileError::inUse;

                return result;
            }

            FileResult removeFile (const Folder& folder, const juce::String& name) override
            {
                return removeEntry (folder, name, false);
            }

            FileResult removeFolder (const Folder& folder, const juce::String& name) override
            {
                return removeEntry (folder, name, true);
            }

            FileResult flushFolder (const Folder& folder) override
            {
                // Flushing a folder needs a handle that may write to it.
                ScopedHandle writable (openRelative (handleOf (folder), {}, FILE_ADD_FILE, shareAll, FILE_OPEN, FILE_DIRECTORY_FILE).handle);
                if (writable.handle == INVALID_HANDLE_VALUE || FlushFileBuffers (writable.handle))
                    return {};

                // File systems that cannot flush a folder's entries (FAT) keep
                // them with the files, which are flushed by handle.
                const auto error = GetLastError();
                if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_ACCESS_DENIED)
                    return {};

                return fileResultFor ((int) error, folder.getPath().getFullPathName());
            }

            EntryKind kindOf (const Folder& folder, const juce::String& name) override
            {
                if (! isSingleName (name))
                    return EntryKind::missing;

                // From the folder's listing, which shows a link as one.
                const auto listed = windows::listedEntry (handleOf (folder), name);

                if (! listed.found)                                               return EntryKind::missing;
                if ((listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)      return EntryKind::link;
                if ((listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)          return EntryKind::folder;
                return EntryKind::file;
            }

            std::vector<juce::String> namesIn (const Folder& folder) override
            {
                std::vector<juce::String> names;
                std::vector<char> buffer (64 * 1024);
                auto infoClass = FileIdBothDirectoryRestartInfo;

                // A handle of its own, which no earlier listing has narrowed.
                ScopedHandle listing (openRelative (handleOf (folder), {}, FILE_LIST_DIRECTORY, shareAll, FILE_OPEN, FILE_DIRECTORY_FILE).handle);
                if (listing.handle == INVALID_HANDLE_VALUE)
                    return names;

                while (GetFileInformationByHandleEx (listing.handle, infoClass, buffer.data(), (DWORD) buffer.size()))
                {
                    infoClass = FileIdBothDirectoryInfo;

                    for (size_t offset = 0;;)
                    {
                        const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*> (buffer.data() + offset);
                        const juce::String name (juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (entry->FileName)),
                                                 juce::CharPointer_UTF16 (reinterpret_cast<const juce::CharPointer_UTF16::CharType*> (entry->FileName)
                                                                           + entry->FileNameLength / sizeof (WCHAR)));
                        if (name != "." && name != "..")
                            names.push_back (name);

                        if (entry->NextEntryOffset == 0)
                            break;

                        offset += entry->NextEntryOffset;
                    }
                }

                return names;
            }

            juce::StringArray programsUsing (const juce::String& path) override
            {
                // The Restart Manager is asked about files: the one named, or
                // those in the folder named (the first few hundred).
                juce::StringArray files;
                const juce::File named (path);

                if (named.isDirectory())
                {
                    for (const auto& entry : juce::RangedDirectoryIterator (named, true, "*", juce::File::findFiles,
                                                                            juce::File::FollowSymlinks::no))
                        if (files.add (entry.getFile().getFullPathName()), files.size() >= 256)
                            break;
                }
                else
                {
                    files.add (path);
                }

                DWORD session = 0;
                WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
                if (RmStartSession (&session, 0, key) != ERROR_SUCCESS)
                    return {};

                const juce::ScopeGuard end { [session] { RmEndSession (session); } };

                std::vector<std::wstring> wide;
                std::vector<LPCWSTR> names;
                for (const auto& file : files)
                    wide.push_back (file.toWideCharPointer());
                for (const auto& w : wide)
                    names.push_back (w.c_str());

                if (RmRegisterResources (session, (UINT) names.size(), names.data(), 0, nullptr, 0, nullptr) != ERROR_SUCCESS)
                    return {};

                UINT needed = 0, count = 0;
                DWORD reasons = 0;
                if (RmGetList (session, &needed, &count, nullptr, &reasons) != ERROR_MORE_DATA || needed == 0)
                    return {};

                std::vector<RM_PROCESS_INFO> processes (needed);
                count = needed;
                if (RmGetList (session, &needed, &count, processes.data(), &reasons) != ERROR_SUCCESS)
                    return {};

                juce::StringArray programs;
                for (UINT i = 0; i < count; ++i)
                    programs.addIfNotAlreadyThere (juce::String (processes[i].strAppName).trim());

                programs.removeEmptyStrings();
                return programs;
            }

            void pause (int milliseconds, const std::function<bool()>& stopWaiting) override
            {
                pauseUnlessStopped (milliseconds, stopWaiting);
            }

        private:
            FileResult removeEntry (const Folder& folder, const juce::String& name, bool asFolder)
            {
                const auto path = folder.pathOf (name);

                if (! isSingleName (name))
                    return fileResultFor (ERROR_INVALID_NAME, path);

                auto opened = openEntry (handleOf (folder), name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                         shareAll, asFolder ? FILE_DIRECTORY_FILE : 0, ! asFolder);
                if (! opened.ok())
                    return fileResultFor ((int) opened.error, path);

                ScopedHandle entry (opened.handle);
                const auto attributes = attributesOf (entry.handle);
                const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

                // A folder is removed as a folder, emptied first; a link, even
                // one to a folder, as a file, which removes only the link.
                if (attributes == INVALID_FILE_ATTRIBUTES || (asFolder ? (isLink || ! isFolder) : (isFolder && ! isLink)))
                    return fileResultFor ((int) notWhatWasExpected, path);

                const auto error = deleteByHandle (entry.handle);
                return error == ERROR_SUCCESS ? FileResult {} : fileResultFor ((int) error, path);
            }
        };
    }

    FileSystem& systemFileSystem()
    {
        static SystemFileSystem instance;
        return instance;
    }
}

#endif
