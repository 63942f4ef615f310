#include "TestEnvironment.h"
#include "LinkPlanting.h"
#include "../platform/MessageWindowGuard.h"
#include "../platform/Platform.h"
#include "../ui/MainComponent.h"

#if JUCE_WINDOWS
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>

namespace juce
{
    extern HWND juce_messageWindowHandle;
}

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

// What `taskkill` without /F does to every top-level window of the process:
// the framework's hidden window must survive it, or quitting never arrives.
TEST (WindowsPlatform, MessagesStillArriveAfterACloseRequestToTheHiddenWindow)
{
    const auto hidden = juce::juce_messageWindowHandle;
    ASSERT_TRUE (IsWindow (hidden));

    platform::keepMessageWindowOnClose();
    SendMessageW (hidden, WM_CLOSE, 0, 0);
    ASSERT_TRUE (IsWindow (hidden));

    bool delivered = false;
    juce::MessageManager::callAsync ([&delivered] { delivered = true; });

    for (int i = 0; i < 100 && ! delivered; ++i)
    {
        MSG message;

        while (PeekMessageW (&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW (&message);

        Sleep (10);
    }

    EXPECT_TRUE (delivered);
}

TEST (WindowsPlatform, OnlyFullPathsNameAFolder)
{
    for (auto* path : { "C:\\x", "c:/x", "\\\\server\\share", "\\\\?\\C:\\x", "//?/c:/x", "\\\\?\\UNC\\server\\share" })
        EXPECT_TRUE (platform::isAbsoluteFolderPath (path)) << path;

    // Relative paths, and the device namespace: volumes, disks, pipes.
    for (auto* path : { "", "C:", "C:x", "\\x", "/x", "x\\y", "\\\\\\x",
                        "\\\\.\\PhysicalDrive0", "\\\\.\\C:\\x", "//./pipe/x", "\\\\?\\Volume{0b1c}\\x",
                        "\\\\?\\GLOBALROOT\\Device\\x", "\\\\?\\C:", "\\\\?\\UNC\\", "\\\\?\\UNC\\\\x", "\\\\?" })
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

TEST (Platform, RemovingOneNameOfAHardLinkedFileNeverUnprotectsIt)
{
    // Someone links a read-only file of theirs into a folder the program
    // cleans: the name may go, or the removal be refused, but the file keeps
    // its protection.
    if (! LinkPlanting::canPlantLinks())
        GTEST_SKIP() << "hard links cannot be planted here";

    IsolatedHome home;
    const auto kept = home.root.getChildFile ("elsewhere/kept.dll");
    const auto folder = home.root.getChildFile ("plugins");
    writeBytes (kept, "someone else's");
    folder.createDirectory();
    const auto quote = [] (const juce::File& f) { return "'" + LinkPlanting::hostPath (f) + "'"; };
    ASSERT_EQ (LinkPlanting::runHostShell ("chmod 444 " + quote (kept) + " && ln " + quote (kept) + " " + quote (folder.getChildFile ("Vantorix3.dll"))), 0);

    auto& fs = platform::systemFileSystem();
    platform::Folder opened;
    ASSERT_TRUE (fs.openFolder (folder, opened).ok());
    const auto removed = fs.removeFile (opened, "Vantorix3.dll");

   #if ! JUCE_WINDOWS
    EXPECT_TRUE (removed.ok());
   #endif
    EXPECT_TRUE (removed.ok() || removed.error == platform::FileError::accessDenied) << removed.message;
    EXPECT_EQ (LinkPlanting::runHostShell ("test \"$(stat -c %a " + quote (kept) + ")\" = 444"), 0);
    EXPECT_EQ (readBytes (kept), "someone else's");
    LinkPlanting::runHostShell ("chmod 644 " + quote (kept));
}
