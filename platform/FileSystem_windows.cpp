#include "FileSystem.h"

#if JUCE_WINDOWS

#include <windows.h>

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

    namespace
    {
        FileResult fromLastError (const juce::String& path)             { return fileResultFor ((int) GetLastError(), path); }
        FileResult fromCall (BOOL succeeded, const juce::String& path)  { return succeeded ? FileResult {} : fromLastError (path); }
        FileResult fromCall (BOOL succeeded, const juce::File& f)       { return fromCall (succeeded, f.getFullPathName()); }
        const wchar_t* pathOf (const juce::File& f) { return f.getFullPathName().toWideCharPointer(); }
        HANDLE handleOf (const OpenFile& f)       { return reinterpret_cast<HANDLE> (f.handle); }

        class SystemFileSystem final : public FileSystem
        {
        public:
            FileResult createFolder (const juce::File& folder) override
            {
                return fromCall (CreateDirectoryW (pathOf (folder), nullptr), folder);
            }

            FileResult createFile (const juce::File& file, OpenFile& out) override
            {
                const auto handle = CreateFileW (pathOf (file), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr);
                if (handle == INVALID_HANDLE_VALUE)
                    return fromLastError (file.getFullPathName());

                out = OpenFile { reinterpret_cast<std::intptr_t> (handle), file.getFullPathName(), 0, 0, {} };
                return {};
            }

            FileResult write (OpenFile& file, const void* data, size_t size) override
            {
                const auto* bytes = static_cast<const char*> (data);

                while (size > 0)
                {
                    DWORD written = 0;
                    const auto chunk = (DWORD) std::min<size_t> (size, 1u << 30);

                    if (! WriteFile (handleOf (file), bytes, chunk, &written, nullptr))
                        return fromLastError (file.path);

                    bytes += written;
                    size -= written;
                    file.written += written;
                }

                return {};
            }

            FileResult flush (OpenFile& file) override
            {
                return fromCall (FlushFileBuffers (handleOf (file)), file.path);
            }

            FileResult close (OpenFile& file) override
            {
                const auto result = fromCall (CloseHandle (handleOf (file)), file.path);
                file.handle = -1;
                return result;
            }

            FileResult move (const juce::File& from, const juce::File& to) override
            {
                // Without MOVEFILE_REPLACE_EXISTING a taken target fails. Write-through
                // returns only once the new name is on the disk, which is what a
                // folder flush does elsewhere.
                if (MoveFileExW (pathOf (from), pathOf (to), MOVEFILE_WRITE_THROUGH))
                    return {};

                auto result = fromLastError (from.getFullPathName());

                // A folder with a file open inside cannot be renamed either, but
                // Windows says "access denied" for that too. Being allowed to
                // delete the folder itself tells a file in use from missing rights.
                const auto attributes = GetFileAttributesW (pathOf (from));
                if ((DWORD) result.code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
                     && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                {
                    const auto folder = CreateFileW (pathOf (from), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
                    if (folder != INVALID_HANDLE_VALUE)
                    {
                        CloseHandle (folder);
                        result.error = FileError::inUse;
                    }
                }

                return result;
            }

            FileResult removeFile (const juce::File& file) override
            {
                const auto attributes = GetFileAttributesW (pathOf (file));

                // A junction or a link to a folder is removed as a folder; that
                // removes the link, never what it points to.
                if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                     && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                    return fromCall (RemoveDirectoryW (pathOf (file)), file);

                if (DeleteFileW (pathOf (file)))
                    return {};

                const auto result = fromLastError (file.getFullPathName());

                // Some installers mark their files read-only; that is no reason to keep them.
                if ((DWORD) result.code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
                     && (attributes & FILE_ATTRIBUTE_READONLY) != 0
                     && SetFileAttributesW (pathOf (file), attributes & ~(DWORD) FILE_ATTRIBUTE_READONLY))
                    return fromCall (DeleteFileW (pathOf (file)), file);

                return result;
            }

            FileResult removeFolder (const juce::File& folder) override
            {
                return fromCall (RemoveDirectoryW (pathOf (folder)), folder);
            }

            FileResult flushFolder (const juce::File&) override
            {
                // Moves are made with write-through above, and created files are
                // flushed by handle; NTFS journals the names with them.
                return {};
            }

            EntryKind kindOf (const juce::File& file) override
            {
                const auto attributes = GetFileAttributesW (pathOf (file));

                if (attributes == INVALID_FILE_ATTRIBUTES)                 return EntryKind::missing;
                if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)      return EntryKind::link;
                if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)          return EntryKind::folder;
                return EntryKind::file;
            }

            std::vector<juce::String> namesIn (const juce::File& folder) override
            {
                std::vector<juce::String> names;
                WIN32_FIND_DATAW found;
                const auto pattern = folder.getChildFile ("*").getFullPathName();
                const auto search = FindFirstFileExW (pattern.toWideCharPointer(), FindExInfoBasic, &found,
                                                      FindExSearchNameMatch, nullptr, 0);
                if (search == INVALID_HANDLE_VALUE)
                    return names;

                do
                {
                    const juce::String name (found.cFileName);
                    if (name != "." && name != "..")
                        names.push_back (name);
                }
                while (FindNextFileW (search, &found));

                FindClose (search);
                return names;
            }

            void pause (int milliseconds) override
            {
                Sleep ((DWORD) milliseconds);
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
