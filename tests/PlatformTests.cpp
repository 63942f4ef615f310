#include "TestEnvironment.h"
#include "../platform/Platform.h"
#include "../ui/MainComponent.h"

#if JUCE_WINDOWS

TEST (WindowsPlatform, FileVersionReadsTheGeneratedFixtures)
{
    for (auto [name, version] : versionFixtureCases)
    {
        ASSERT_TRUE (versionFixture (name).existsAsFile()) << name;
        EXPECT_EQ (versionFixture (name).getVersion(), version) << name;
    }
}

TEST (WindowsPlatform, EmbeddedPluginBinariesCarryTheProductVersion)
{
    IsolatedHome home;
    const auto archive = archiveFor (clapFormat);
    juce::ZipFile zip (new juce::MemoryInputStream (archive.data, (size_t) archive.size, false), true);
    ASSERT_TRUE (zip.uncompressTo (home.root, true).wasOk());
    EXPECT_EQ (home.root.getChildFile ("Vantorix3.clap").getVersion(), "3.3.0.0");
}

TEST (WindowsPlatform, MachineWideFoldersAreTheSystemOnes)
{
    EXPECT_EQ (platform::machineDataFolder().getFullPathName(), "C:\\ProgramData");
    EXPECT_EQ (platform::defaultInstallFolders()[3].getFullPathName(),
               "C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins");
}

TEST (WindowsPlatform, CleanUpRemovesScriptFromTheSystemTemporaryFolder)
{
    // No redirection of TMP here: the folder Windows reports for this user.
    const auto script = platform::temporaryFolder().getChildFile ("script.sh");
    ASSERT_TRUE (script.getParentDirectory().isDirectory());
    ASSERT_TRUE (script.replaceWithText ("exit 0\n"));

    { MainComponent main; }

    EXPECT_FALSE (script.exists());
}

TEST (WindowsPlatform, OnlyFullPathsNameAFolder)
{
    for (auto* path : { "C:\\x", "c:/x", "\\\\server\\share" })
        EXPECT_TRUE (platform::isAbsoluteFolderPath (path)) << path;

    for (auto* path : { "", "C:", "C:x", "\\x", "/x", "x\\y", "\\\\\\x" })
        EXPECT_FALSE (platform::isAbsoluteFolderPath (path)) << path;
}

#else

TEST (LinuxPlatform, DataFolderFollowsXdgDataHomeOnlyWhenAbsolute)
{
    IsolatedHome home;
    EXPECT_EQ (platform::machineDataFolder(), home.root.getChildFile (".local/share"));

    home.setVariable ("XDG_DATA_HOME", home.root.getChildFile ("data").getFullPathName());
    EXPECT_EQ (platform::machineDataFolder(), home.root.getChildFile ("data"));
    EXPECT_EQ (platform::defaultInstallFolders()[3], home.root.getChildFile ("data/Avid/Audio/Plug-Ins"));

    home.setVariable ("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ (platform::machineDataFolder(), home.root.getChildFile (".local/share"));
}

TEST (LinuxPlatform, Vst2DefaultIsTheFirstAbsoluteVstPathEntry)
{
    IsolatedHome home;
    const std::pair<const char*, const char*> cases[] = {
        { "", "" },
        { "relative:also/relative", "" },
        { "::/opt/vst:/usr/lib/vst", "/opt/vst" },
        { "vst:/usr/lib/vst/", "/usr/lib/vst" },
    };

    for (auto [vstPath, expected] : cases)
    {
        home.setVariable ("VST_PATH", juce::String (vstPath));
        EXPECT_EQ (platform::vst2DefaultFolder(), expected) << vstPath;
    }
}

#endif
