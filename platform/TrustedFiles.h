#pragma once

#include "FileSystem.h"
#include <string>

/** Files that tell the program what to do, read and written so that no other
    user can steer it through them.

    Elevated (root on Linux, an elevated administrator on Windows), the program
    must not take instructions from a place an ordinary user controls: such a
    user could name any folder for it to write in or remove from. So, elevated,
    a folder or file is trusted only when it is no link, is owned by root (on
    Windows by Administrators, SYSTEM, TrustedInstaller or the administrator
    running the program), and lets nobody else write to it. Folders and files
    the program makes here get exactly such an owner and rights, readable by
    everyone. Not elevated, the user's own files are trusted as they are. */
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
        FileError::accessDenied when it cannot be trusted (see above). */
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
        than maxBytes or grows while read, or cannot be trusted. */
    FileResult readTrustedFile (const Folder&, const juce::String& name, juce::int64 maxBytes, FileContent& out);

   #if JUCE_WINDOWS
    /** The rule above for Windows, on a security descriptor: owned by a
        trusted account, and no rule that grants writing, deleting or changing
        the rights to anyone else. Elevated or not. */
    bool isTrustedDescriptor (void* securityDescriptor);
   #endif

    /** Replaces (or creates) the file `name` in the folder with the bytes: a
        new file beside it, written, flushed and renamed over it in one step,
        so a reader sees the old file or the new one, never part of either. */
    FileResult replaceTrustedFile (const Folder&, const juce::String& name, const std::string& bytes);
}
