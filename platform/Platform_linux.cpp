#include "Platform.h"
#include "../pe/PeFileVersion.h"

#if ! JUCE_WINDOWS

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
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

    juce::String fileVersionIn (const Folder& folder, const juce::String& name)
    {
        const auto at = (int) folder.getHandle();
        struct stat listed, opened;

        // Looked at before it is opened, so that a pipe or a device is never
        // opened at all; then checked to be the same file once it is open.
        if (! isSingleName (name) || ::fstatat (at, name.toRawUTF8(), &listed, AT_SYMLINK_NOFOLLOW) != 0 || ! S_ISREG (listed.st_mode))
            return {};

        const auto fd = ::openat (at, name.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return {};

        const juce::ScopeGuard closeFile { [fd] { ::close (fd); } };

        if (::fstat (fd, &opened) != 0 || ! S_ISREG (opened.st_mode) || opened.st_dev != listed.st_dev || opened.st_ino != listed.st_ino)
            return {};

        return peFileVersion ([fd] (juce::uint64 offset, void* destination, size_t size) -> juce::int64
                              {
                                  size_t got = 0;
                                  while (got < size)
                                  {
                                      const auto n = ::pread (fd, static_cast<char*> (destination) + got, size - got, (off_t) (offset + got));
                                      if (n < 0 && errno == EINTR)
                                          continue;
                                      if (n < 0)
                                          return -1;
                                      if (n == 0)
                                          break;
                                      got += (size_t) n;
                                  }
                                  return (juce::int64) got;
                              },
                              (juce::uint64) opened.st_size);
    }

    juce::File temporaryFolder()
    {
        return juce::File::getSpecialLocation (juce::File::tempDirectory);
    }

    bool isAbsoluteFolderPath (const juce::String& path)
    {
        return path.startsWithChar ('/');
    }

    juce::String whyNotAPath (const juce::String& path)
    {
        for (auto c : path)
            if (c < 0x20 || c == 0x7f)
                return "it holds a control character";

        return {};
    }

    const char* lineEnding() noexcept
    {
        return "\n";
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
