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

        if (path.length() >= 3 && juce::CharacterFunctions::isLetter (path[0])
             && path[1] == ':' && isSeparator (path[2]))
            return true;

        return path.length() > 2 && isSeparator (path[0]) && isSeparator (path[1])
                && ! isSeparator (path[2]);
    }
}

#endif
