#pragma once

/** What the program's exit code tells a deployment tool. The numbers are
    Windows' own codes for the same conditions, so that a tool shows the
    system's words for them (and treats 1618 as "try again later", as
    Configuration Manager and Intune do by default).

    One line per code, read by tools/make_winget_manifest.py: the name, the
    number, and after "winget:" the manifest's ExpectedReturnCodes response. */
enum class ExitCode : int
{
    success           = 0,       // winget: (success) every chosen format installed, kept newer, or removed
    invalidParameters = 1639,    // winget: invalidParameter an unknown switch or format, a bad folder, a value missing
    busy              = 1618,    // winget: installInProgress another installer is working in an install folder
    cancelled         = 1602,    // winget: cancelledByUser the run was stopped (its window closed) before a chosen format was done
    fileInUse         = 32,      // winget: fileInUse a program holds a file of the plug-in
    diskFull          = 112,     // winget: diskFull no space left on the disk of an install folder
    accessDenied      = 5,       // winget: blockedByPolicy no permission to write to an install folder
    damaged           = 1392,    // winget: contactSupport the installer's own copy of the plug-in is damaged
    failed            = 1603     // winget: contactSupport any other failure
};
