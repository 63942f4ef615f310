#include "Platform.h"
#include "../pe/PeFileVersion.h"

#if ! JUCE_WINDOWS

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{
    static juce::File homeFolder()
    {
        return juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    }

    juce::File machineDataFolder()
    {
        const auto xdg = juce::SystemStats::getEnvironmentVariable ("XDG_DATA_HOME", {});

        if (isAbsoluteFolderPath (xdg))
            return juce::File (xdg);

        const auto home = homeFolder();
        return home == juce::File() ? juce::File() : home.getChildFile (".local/share");
    }

    std::array<juce::File, 4> defaultInstallFolders()
    {
        const auto home = homeFolder();
        const auto data = machineDataFolder();

        return { home.getChildFile (".vst3"),
                 home.getChildFile (".vst"),
                 home.getChildFile (".clap"),
                 data.getChildFile ("Avid/Audio/Plug-Ins") };
    }

    juce::String vst2DefaultFolder()
    {
        const auto entries = juce::StringArray::fromTokens (
            juce::SystemStats::getEnvironmentVariable ("VST_PATH", {}), ":", {});

        for (const auto& entry : entries)
            if (isAbsoluteFolderPath (entry))
                return juce::File (entry).getFullPathName();

        return {};
    }

    juce::String fileVersion (const juce::File& binary)
    {
        // No system reader of version resources here: use the project's own.
        return peFileVersion (binary);
    }

    juce::File temporaryFolder()
    {
        return juce::File::getSpecialLocation (juce::File::tempDirectory);
    }

    bool isAbsoluteFolderPath (const juce::String& path)
    {
        return path.startsWithChar ('/');
    }

    bool printToConsole (const juce::String& text, bool error)
    {
        auto* stream = error ? stderr : stdout;
        std::fputs (text.toRawUTF8(), stream);
        std::fflush (stream);
        return true;
    }

    bool isOwnRegularFile (const juce::File& file)
    {
        struct stat st;
        return ::lstat (file.getFullPathName().toRawUTF8(), &st) == 0 && S_ISREG (st.st_mode) && st.st_uid == ::geteuid();
    }
}

#endif
