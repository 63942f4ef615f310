#pragma once

#include "FileSystem.h"
#include <string>

/** Files that tell the program what to do, read and written so that no other
    user can steer it through them.

    Elevated (root on Linux, an elevated administrator on Windows), the program
    must not take instructions from a place an ordinary user controls: such a
    user could name any folder for it to write in or remove from. So, elevated:
      - a folder is believed when it is no link, is owned by root (on Windows
        by Administrators, SYSTEM or TrustedInstaller), and nobody else may
        remove, rename or re-permission what is in it. Others may add entries
        (Windows gives users that right in a folder another installer made in
        C:\ProgramData; on Linux a shared folder with the sticky bit); no entry
        is read unless it is owned as its folder is;
      - a file is believed when it is no link, is owned the same way, and
        nobody else may change it.
    The running administrator's own account is never an owner to believe:
    its unelevated programs carry it too. Folders and files the program makes
    get exactly such an owner and rights, readable by everyone. Not elevated,
    the user's own files are believed as they are. */
namespace platform
{
    /** True when the program runs with rights over the whole machine. */
    bool isElevated();

    /** Has Windows refuse, for this whole process, to follow junctions and
        links that no administrator made (where the system offers that);
        nothing elsewhere. Called once at start. */
    void enableRedirectionGuard();

    /** Opens the folder `name` in `base` (a full path the system gave, such as
        the machine-wide data folder), making it first when asked and it is
        missing. Fails with FileError::missing when it is not there, and with
        FileError::accessDenied when it cannot be trusted (see above); the
        result's message then says why. */
    FileResult openTrustedFolder (const juce::File& base, const juce::String& name, bool create, Folder& out);

    /** A whole file read from a trusted folder. */
    struct FileContent
    {
        std::string bytes;
        bool readOnly = false;      /**< marked read-only, or without write permission for anyone */
    };

    /** Reads the file `name` in the folder, at most maxBytes of it. Fails with
        FileError::missing when it is not there, and with accessDenied when it
        is not a regular file (a pipe, a device, a folder, a link), is larger
        than maxBytes or grows while read, or cannot be trusted; the message
        then says why. Nothing but its owner and kind is looked at until it
        is known to be one to believe. */
    FileResult readTrustedFile (const Folder&, const juce::String& name, juce::int64 maxBytes, FileContent& out);

   #if JUCE_WINDOWS
    enum class TrustedEntry { folder, file };

    /** The rules above for Windows, on a security descriptor, elevated or
        not: why the folder or file it describes is not to be believed, in
        words for a log; empty when it is. */
    juce::String whyUntrusted (void* securityDescriptor, TrustedEntry);
   #endif

    /** Replaces (or creates) the file `name` in the folder with what the
        stream holds: a new file beside it, made with the rights above,
        written, flushed and renamed over it in one step, so a reader sees the
        old file or the new one, never part of either. */
    FileResult replaceTrustedFile (const Folder&, const juce::String& name, juce::InputStream& source);

    /** The same with a copy of a file: the system copies it where it can. */
    FileResult replaceTrustedFile (const Folder&, const juce::String& name, const juce::File& source);

    inline FileResult replaceTrustedFile (const Folder& folder, const juce::String& name, const std::string& bytes)
    {
        juce::MemoryInputStream source (bytes.data(), bytes.size(), false);
        return replaceTrustedFile (folder, name, source);
    }
}
