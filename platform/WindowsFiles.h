#pragma once

// The native calls behind the Windows file seam, shared by the files of the
// platform layer that open things relative to an open folder. Windows only.

#include "FileSystem.h"

#if JUCE_WINDOWS

#include <windows.h>
#include <winternl.h>

namespace platform::windows
{
    /** What a relative open gives: the handle (INVALID_HANDLE_VALUE on failure)
        and the system's error code for a failure. */
    struct Opened
    {
        HANDLE handle = INVALID_HANDLE_VALUE;
        DWORD error = ERROR_SUCCESS;

        [[nodiscard]] bool ok() const noexcept  { return handle != INVALID_HANDLE_VALUE; }
    };

    /** Opens or creates `name` inside the folder `parent` with NtCreateFile,
        never following a reparse point at that name. Options are NtCreateFile's
        (FILE_DIRECTORY_FILE, FILE_NON_DIRECTORY_FILE); synchronous I/O is
        always asked for. An empty name opens the folder itself again. */
    Opened openRelative (HANDLE parent, const juce::String& name, ACCESS_MASK access, ULONG share,
                         ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security = nullptr);

    /** What a folder's listing says of one of its entries: whether it is
        there, its attributes (a link shows as a reparse point) and its number. */
    struct ListedEntry
    {
        bool found = false;
        DWORD attributes = 0;
        LONGLONG id = 0;
    };

    ListedEntry listedEntry (HANDLE folder, const juce::String& name);

    /** The file number of an open handle, as the listing gives it; -1 when unknown. */
    LONGLONG idOf (HANDLE);

    /** Opens an entry of a folder as openRelative does, then makes sure the
        handle is the entry the folder lists under that name, and that it is
        no link unless `linkItself`: a system that follows a link at the last
        name even when told not to (Wine does) is caught here. A mismatch
        closes the handle and fails with ERROR_CANT_RESOLVE_FILENAME. */
    Opened openEntry (HANDLE parent, const juce::String& name, ACCESS_MASK access, ULONG share,
                      ULONG options, bool linkItself);

    /** True when the handle's own path, opened again now, still leads to it.
        On Windows always; where the system renames by path (Wine), a folder
        on the way swapped for a link since would make a rename land elsewhere. */
    bool isReachedByItsPath (HANDLE);

    /** Renames the open entry to `name` inside the folder `target`, replacing
        an entry of that name only when asked; ERROR_SUCCESS or the error. */
    DWORD renameTo (HANDLE entry, HANDLE target, const juce::String& name, bool replace);

    /** The attributes of an open handle, or INVALID_FILE_ATTRIBUTES. */
    DWORD attributesOf (HANDLE);

    /** The Win32 error code for an NTSTATUS. */
    DWORD errorFor (NTSTATUS);

    /** Closes a handle when it is open. */
    struct ScopedHandle
    {
        explicit ScopedHandle (HANDLE h = INVALID_HANDLE_VALUE) : handle (h) {}
        ~ScopedHandle()  { if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle (handle); }
        ScopedHandle (const ScopedHandle&) = delete;
        ScopedHandle& operator= (const ScopedHandle&) = delete;

        HANDLE handle;
    };
}

#endif
