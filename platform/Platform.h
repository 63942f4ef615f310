#pragma once

#include "FileSystem.h"
#include <array>

/** The only place that knows which operating system it runs on.

    Every query answers with plain values: an empty File or String means the
    system could not say, and callers treat that as "no such place". */
namespace platform
{
    /** The base of the shared settings folder: the machine-wide application
        data folder on Windows, the user's own data folder on Linux (the
        program runs there as that user); an empty File when it cannot be
        determined. */
    juce::File machineDataFolder();

    /** The customary install folder of each format, in FormatIndex order. */
    std::array<juce::File, 4> defaultInstallFolders();

    /** The system-wide VST2 folder the machine advertises, or "" when unset. */
    juce::String vst2DefaultFolder();

    /** Fixed file version of a binary's version resource, "major.minor.build.revision",
        or "" when it has none or cannot be read. */
    juce::String fileVersion (const juce::File& binary);

    /** The same for the entry `name` of an open folder, read only when it is
        a regular file: a link there is not followed, and a pipe or a device
        is never opened, so nothing another user put in a shared folder can
        make the caller wait or read elsewhere. */
    juce::String fileVersionIn (const Folder&, const juce::String& name);

    /** The user's temporary folder; for SYSTEM, the system's own. */
    juce::File temporaryFolder();

    /** True when a folder setting names a definite place on this system: a full
        path from a drive or share on Windows, from the root elsewhere. Anything
        else would be resolved against the working directory or the current drive.
        On Windows the device namespace (\\.\..., and \\?\... other than the
        long forms of a drive path or a share) names no folder either. */
    bool isAbsoluteFolderPath (const juce::String& path);

    /** Why a full path names no place the system can make, in a few words;
        empty when it can. On Windows: a character Windows does not allow in
        a path (" < > | ? * or a control character), a device name (CON, PRN,
        AUX, NUL, COM1 to COM9, LPT1 to LPT9, with or without an extension) as
        any part, a part ending in a dot or a space, or a colon anywhere but
        after the drive letter. Elsewhere: a control character. */
    juce::String whyNotAPath (const juce::String& path);

    /** How a line of a text file for people ends here: CR LF on Windows,
        so that Notepad and every log viewer show lines, LF elsewhere. */
    const char* lineEnding() noexcept;

    /** Prints to the console the program was started from (standard error
        when `error`); false when there is none, as for a Windows program
        started from the desktop. */
    bool printToConsole (const juce::String& text, bool error);

    /** True when the path itself (not a link's target) is a regular file that
        the user the program runs as owns: the only kind of file the program
        may clean up in a folder other users share. On Windows the owner is the
        user, or the owner the system gives this process's new files (the
        Administrators group, when elevated). */
    bool isOwnRegularFile (const juce::File&);
}
