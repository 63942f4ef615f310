// The native calls behind the Windows file seams (FileSystem_windows.cpp,
// TrustedFiles_windows.cpp, Platform_windows.cpp): opening relative to an open
// folder, and the checks that catch a system following a link it was told
// not to (Wine).

#include "WindowsFiles.h"

#if JUCE_WINDOWS

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile (HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);

namespace platform
{
    namespace windows
    {
        DWORD errorFor (NTSTATUS status)
        {
            return RtlNtStatusToDosError (status);
        }

        Opened openRelative (HANDLE parent, const juce::String& name, ACCESS_MASK access, ULONG share,
                             ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security)
        {
            const auto* wide = name.toWideCharPointer();
            const auto bytes = wcslen (wide) * sizeof (WCHAR);
            if (bytes > 0xfff0)
                return { INVALID_HANDLE_VALUE, ERROR_FILENAME_EXCED_RANGE };

            UNICODE_STRING objectName;
            objectName.Buffer = const_cast<PWSTR> (wide);
            objectName.Length = objectName.MaximumLength = (USHORT) bytes;

            OBJECT_ATTRIBUTES attributes;
            InitializeObjectAttributes (&attributes, &objectName, OBJ_CASE_INSENSITIVE, parent, security);

            IO_STATUS_BLOCK io {};
            HANDLE handle = INVALID_HANDLE_VALUE;
            const auto status = NtCreateFile (&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                                              share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT,
                                              nullptr, 0);
            if (status < 0)
                return { INVALID_HANDLE_VALUE, errorFor (status) };

            return { handle, ERROR_SUCCESS };
        }

        DWORD renameTo (HANDLE entry, HANDLE target, const juce::String& name, bool replace)
        {
            // The native call, since the Win32 wrapper does not take a folder
            // handle as the target's root on every system (Wine's among them).
            const auto* wide = name.toWideCharPointer();
            const auto nameBytes = wcslen (wide) * sizeof (WCHAR);
            std::vector<char> buffer (sizeof (FILE_RENAME_INFORMATION) + nameBytes);
            auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*> (buffer.data());
            info->ReplaceIfExists = replace ? TRUE : FALSE;
            info->RootDirectory = target;
            info->FileNameLength = (ULONG) nameBytes;
            std::memcpy (info->FileName, wide, nameBytes);

            IO_STATUS_BLOCK io {};
            const auto status = NtSetInformationFile (entry, &io, info, (ULONG) buffer.size(), (FILE_INFORMATION_CLASS) 10);
            return status >= 0 ? (DWORD) ERROR_SUCCESS : errorFor (status);
        }

        DWORD attributesOf (HANDLE handle)
        {
            BY_HANDLE_FILE_INFORMATION info {};
            return GetFileInformationByHandle (handle, &info) ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
        }

        LONGLONG idOf (HANDLE handle)
        {
            BY_HANDLE_FILE_INFORMATION info {};
            if (! GetFileInformationByHandle (handle, &info))
                return -1;

            return (LONGLONG) (((ULONGLONG) info.nFileIndexHigh << 32) | info.nFileIndexLow);
        }

        ListedEntry listedEntry (HANDLE folder, const juce::String& name)
        {
            // A handle of its own: a folder handle keeps the first name it was
            // asked to list for as long as it is open.
            ScopedHandle listing (openRelative (folder, {}, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                FILE_OPEN, FILE_DIRECTORY_FILE).handle);
            if (listing.handle == INVALID_HANDLE_VALUE)
                return {};

            const auto* wide = name.toWideCharPointer();
            UNICODE_STRING mask;
            mask.Buffer = const_cast<PWSTR> (wide);
            mask.Length = mask.MaximumLength = (USHORT) (wcslen (wide) * sizeof (WCHAR));

            alignas (8) char buffer[sizeof (FILE_ID_BOTH_DIR_INFO) + 520 * sizeof (WCHAR)];
            IO_STATUS_BLOCK io {};
            const auto status = NtQueryDirectoryFile (listing.handle, nullptr, nullptr, nullptr, &io, buffer, sizeof (buffer),
                                                      (FILE_INFORMATION_CLASS) 37 /* FileIdBothDirectoryInformation */,
                                                      TRUE, &mask, TRUE);
            if (status < 0)
                return {};

            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*> (buffer);
            return { true, entry->FileAttributes, entry->FileId.QuadPart };
        }

        /** The path the system gives for an open handle, or "". */
        juce::String finalPathOf (HANDLE handle)
        {
            std::vector<WCHAR> path (32768);
            const auto length = GetFinalPathNameByHandleW (handle, path.data(), (DWORD) path.size(), FILE_NAME_NORMALIZED);
            return length == 0 || length >= path.size() ? juce::String() : juce::String (path.data(), (size_t) length);
        }

        Opened openEntry (HANDLE parent, const juce::String& name, ACCESS_MASK access, ULONG share, ULONG options, bool linkItself)
        {
            auto opened = openRelative (parent, name, access, share, FILE_OPEN, options);
            if (! opened.ok())
                return opened;

            // Checked after the open: whatever is at the name now must be what
            // was opened, listed under it, and found at the folder's path and
            // that name, not at the end of a link. A swap in between only
            // makes this fail.
            const auto listed = listedEntry (parent, name);
            const bool isLink = (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            const auto parentPath = finalPathOf (parent);

            if (listed.found && listed.id == idOf (opened.handle) && (linkItself || ! isLink) && parentPath.isNotEmpty()
                 && finalPathOf (opened.handle).equalsIgnoreCase (parentPath.trimCharactersAtEnd ("\\") + "\\" + name))
                return opened;

            CloseHandle (opened.handle);
            return { INVALID_HANDLE_VALUE, ERROR_CANT_RESOLVE_FILENAME };
        }

        bool isReachedByItsPath (HANDLE handle)
        {
            const auto path = finalPathOf (handle);
            if (path.isEmpty())
                return false;

            ScopedHandle again (CreateFileW (path.toWideCharPointer(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            return again.handle != INVALID_HANDLE_VALUE && idOf (again.handle) == idOf (handle);
        }
    }
}

#endif
