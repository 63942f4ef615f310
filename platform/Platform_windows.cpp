#include "Platform.h"

#if JUCE_WINDOWS

#include <windows.h>
#include <shlobj.h>

namespace platform
{
    juce::File machineDataFolder()
    {
        WCHAR path[MAX_PATH + 1] = {};

        if (! SHGetSpecialFolderPathW (nullptr, path, CSIDL_COMMON_APPDATA, FALSE))
            return {};

        const juce::String folder (path);
        return isAbsoluteFolderPath (folder) ? juce::File (folder) : juce::File();
    }

    std::array<juce::File, 4> defaultInstallFolders()
    {
        const juce::File root ("C:/Program Files/Common Files");

        return { root.getChildFile ("VST3"),
                 root.getChildFile ("VST2"),
                 root.getChildFile ("CLAP"),
                 root.getChildFile ("Avid/Audio/Plug-Ins") };
    }

    juce::String vst2DefaultFolder()
    {
        return juce::WindowsRegistry::getValue ("HKEY_LOCAL_MACHINE\\SOFTWARE\\VST\\VSTPluginsPath",
                                                {}, juce::WindowsRegistry::WoW64_64bit);
    }

    juce::String fileVersion (const juce::File& binary)
    {
        return binary.getVersion();
    }

    juce::File temporaryFolder()
    {
        WCHAR path[2048] = {};
        const auto length = GetTempPathW ((DWORD) juce::numElementsInArray (path), path);

        if (length == 0 || length >= (DWORD) juce::numElementsInArray (path))
            return {};

        const juce::String folder (path);
        return isAbsoluteFolderPath (folder) ? juce::File (folder) : juce::File();
    }

    bool isAbsoluteFolderPath (const juce::String& path)
    {
        // "C:\x" or "C:/x", or a UNC share "\\server\share". "C:x" and "\x" are
        // relative to a current directory or drive and so name no definite place.
        const auto isSeparator = [] (juce::juce_wchar c) { return c == '\\' || c == '/'; };
        const auto isDrivePath = [&] (const juce::String& p)
        {
            return p.length() >= 3 && juce::CharacterFunctions::isLetter (p[0]) && p[1] == ':' && isSeparator (p[2]);
        };

        if (isDrivePath (path))
            return true;

        if (path.length() <= 2 || ! isSeparator (path[0]) || ! isSeparator (path[1]) || isSeparator (path[2]))
            return false;

        // "\\.\" and "\\?\" open the device namespace: volumes, pipes, devices.
        // Only the long forms of a drive path and of a share are folders.
        if (path[2] == '.' || path[2] == '?')
        {
            if (path[2] != '?' || ! isSeparator (path[3]))
                return false;

            const auto rest = path.substring (4);
            return isDrivePath (rest)
                    || (rest.startsWithIgnoreCase ("UNC") && rest.length() > 4 && isSeparator (rest[3])
                         && ! isSeparator (rest[4]));
        }

        return true;
    }

    bool isRegularFile (const juce::File& file)
    {
        const auto attributes = GetFileAttributesW (file.getFullPathName().toWideCharPointer());
        return attributes != INVALID_FILE_ATTRIBUTES
                && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    }

    bool isOwnRegularFile (const juce::File& file)
    {
        const auto attributes = GetFileAttributesW (file.getFullPathName().toWideCharPointer());
        return attributes != INVALID_FILE_ATTRIBUTES
                && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
    }

    bool isReadOnlyFile (const juce::File& file)
    {
        const auto attributes = GetFileAttributesW (file.getFullPathName().toWideCharPointer());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
}

#endif
