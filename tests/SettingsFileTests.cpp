#include "TestEnvironment.h"
#include "../platform/Platform.h"
#include "../install/SettingsFile.h"
#include "../ui/MainComponent.h"

namespace
{
    const std::string note =
        "These are the paths that all Tessarine installers will use for their respective formats. "
        "Edit them to personal taste, but keep in mind that some formats have specific homes. "
        "Use this feature at your own risk; follow the naming and separator conventions exactly as you see them, "
        "or you could end up with unintended consequences. If you delete this file, the next time you run the "
        "Plugin Manager for any TSR product, a new one with the default locations will be written.";

    const std::string header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n";
    const std::string indent (25, ' ');   // tag name, one space, then the attribute's own space

    std::string firstStartFile (const IsolatedHome& home, const juce::String& vst2)
    {
        const auto folder = [&home] (int format) { return home.defaultFolder (format).getFullPathName().toStdString(); };

        return header
             + "<Plugin_Manager_Settings Important_Note:=\"" + note + "\"\r\n"
             + indent + "CLAP_Path=\"" + folder (2) + "\" VST3_Path=\"" + folder (0) + "\"\r\n"
             + indent + "VST2_Path=\"" + vst2.toStdString() + "\" AAX_Path=\"" + folder (3) + "\"/>\r\n";
    }

    juce::String path (const IsolatedHome& home, const char* relative)
    {
        return home.root.getChildFile (relative).getFullPathName();
    }
}

//==============================================================================
// The first start on a machine whose settings folder exists writes the file
// with the default folders; the system-wide VST2 folder, when one is set,
// takes the place of the default VST2 folder.
static void checkFirstStart (IsolatedHome& home, const juce::String& expectedVst2)
{
    MainComponent main;

    EXPECT_EQ (readBytes (home.settingsFile()), firstStartFile (home, expectedVst2));
    EXPECT_EQ (main.getInstallFolders()[1].getFullPathName(), expectedVst2);

    // The creating start makes no install folder.
    for (int format = 0; format < 4; ++format)
        EXPECT_FALSE (home.defaultFolder (format).getChildFile ("Vantorix3" + juce::String (itemExtensions[(size_t) format])).exists());

    // A second start reads the file it wrote and leaves it as it was.
    const auto written = readBytes (home.settingsFile());
    MainComponent again;
    EXPECT_EQ (readBytes (home.settingsFile()), written);
    EXPECT_EQ (again.getInstallFolders(), main.getInstallFolders());
}

TEST (SettingsFile, FirstStartCreatesTheFileByteForByte)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    checkFirstStart (home, home.defaultFolder (vst2Format).getFullPathName());
}

#if JUCE_WINDOWS
TEST (SettingsFile, FirstStartTakesTheVst2FolderFromTheRegistry)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    const auto vst2 = path (home, "System VST Plugins");
    ASSERT_EQ (runCommand ({ "reg", "add", "HKLM\\SOFTWARE\\VST", "/v", "VSTPluginsPath", "/t", "REG_SZ",
                             "/d", vst2, "/f", "/reg:64" }), 0);

    EXPECT_EQ (home.settingsFile().getFullPathName(), "C:\\ProgramData\\Tessarine\\PluginManagerSettings.txt");
    checkFirstStart (home, vst2);
}
#else
TEST (SettingsFile, FirstStartTakesTheFirstAbsoluteVstPathEntry)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    home.setVariable ("VST_PATH", withRoot ("relative/vst:%ROOT%/system-vst:%ROOT%/other", home.root));
    checkFirstStart (home, path (home, "system-vst"));
}
#endif

TEST (SettingsFile, MissingSettingsFolderWritesNothingOnEveryStart)
{
    IsolatedHome home;

    for (int start = 0; start < 2; ++start)
    {
        MainComponent main;
        EXPECT_FALSE (home.settingsFolder().exists());
        EXPECT_EQ (main.getInstallFolders()[0], home.defaultFolder (vst3Format));
        EXPECT_EQ (main.getSettingsFolder(), home.settingsFolder());
    }
}

TEST (SettingsFile, FileWithoutVst2PathGainsItLastAndKeepsTheRest)
{
    IsolatedHome home;
   #if JUCE_WINDOWS
    ASSERT_EQ (runCommand ({ "reg", "add", "HKLM\\SOFTWARE\\VST", "/v", "VSTPluginsPath", "/t", "REG_SZ",
                             "/d", path (home, "system-vst"), "/f", "/reg:64" }), 0);
   #else
    home.setVariable ("VST_PATH", path (home, "system-vst"));
   #endif

    // Another installer's layout: one line, LF ends, a comment, its own folders.
    writeBytes (home.settingsFile(), withRoot (
        "<?xml version=\"1.0\"?>\n<!-- kept by hand -->\n<Plugin_Manager_Settings Important_Note:=\"" + note
        + "\" CLAP_Path=\"%ROOT%/.clap\" VST3_Path=\"%ROOT%/.vst3\" AAX_Path=\"%ROOT%/aax\"/>\n", home.root));

    MainComponent main;

    EXPECT_EQ (readBytes (home.settingsFile()), withRoot (header
        + "<Plugin_Manager_Settings Important_Note:=\"" + note + "\"\r\n"
        + indent + "CLAP_Path=\"%ROOT%/.clap\" VST3_Path=\"%ROOT%/.vst3\"\r\n"
        + indent + "AAX_Path=\"%ROOT%/aax\" VST2_Path=\"%ROOT%/system-vst\"/>\r\n", home.root));

    // Folders named in the file are created at start, with their parents.
    for (auto* folder : { ".clap", ".vst3", "aax", "system-vst" })
        EXPECT_TRUE (home.root.getChildFile (folder).isDirectory()) << folder;

    EXPECT_EQ (main.getInstallFolders()[3].getFullPathName(), path (home, "aax"));
}

TEST (SettingsFile, ValuesInTheFileWinAndMissingFoldersAreCreated)
{
    IsolatedHome home;
   #if ! JUCE_WINDOWS
    home.setVariable ("VST_PATH", path (home, "ignored"));
   #endif
    writeBytes (home.settingsFile(), withRoot (
        "<S VST3_Path=\"%ROOT%/a/b/vst3\" VST2_Path=\"%ROOT%/v2\" CLAP_Path=\"%ROOT%/c\" AAX_Path=\"%ROOT%/x/y/z\"/>",
        home.root));
    const auto before = readBytes (home.settingsFile());

    MainComponent main;

    const std::array<const char*, 4> expected { "a/b/vst3", "v2", "c", "x/y/z" };
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ (main.getInstallFolders()[i].getFullPathName(), path (home, expected[i]));
        EXPECT_TRUE (main.getInstallFolders()[i].isDirectory());
    }

    EXPECT_EQ (readBytes (home.settingsFile()), before);   // complete file: not rewritten
    EXPECT_FALSE (home.root.getChildFile ("ignored").exists());
}

TEST (SettingsFile, UnparsableFileIsLeftUntouchedAndDefaultsStay)
{
    IsolatedHome home;
    const std::string garbage = "VST3_Path=C:\\nowhere <Plugin_Manager_Settings\r\n\x01\x02 not xml";
    writeBytes (home.settingsFile(), garbage);

    MainComponent main;

    EXPECT_EQ (readBytes (home.settingsFile()), garbage);
    for (int format = 0; format < 4; ++format)
        EXPECT_EQ (main.getInstallFolders()[(size_t) format], home.defaultFolder (format));
    EXPECT_FALSE (SettingsFile::writeFolderSetting (home.settingsFolder(), "VST3_Path", path (home, "new"), platform::defaultInstallFolders()));
    EXPECT_EQ (readBytes (home.settingsFile()), garbage);
}

TEST (SettingsFile, FolderInPlaceOfTheFileIsNeitherReadNorReplaced)
{
    IsolatedHome home;
    home.settingsFile().createDirectory();

    MainComponent main;

    EXPECT_TRUE (home.settingsFile().isDirectory());
    EXPECT_EQ (main.getInstallFolders()[2], home.defaultFolder (clapFormat));
}

TEST (SettingsFile, EmptyOrRelativeFoldersNameNoPlace)
{
    IsolatedHome home;
    // The working directory is where a relative path would land.
    const auto workDir = home.root.getChildFile ("cwd");
    workDir.createDirectory();
    const auto previousDir = juce::File::getCurrentWorkingDirectory();
    workDir.setAsCurrentWorkingDirectory();

    // VST3 empty, VST2 relative to the current drive on Windows, CLAP empty,
    // AAX relative to the working directory.
    const std::string file = "<Plugin_Manager_Settings VST3_Path=\"\" VST2_Path=\"\\Plugins\\VST2\" CLAP_Path=\"\" AAX_Path=\"Plugins/AAX\"/>";
    writeBytes (home.settingsFile(), file);

    MainComponent main;
    previousDir.setAsCurrentWorkingDirectory();

    for (auto format : { vst3Format, vst2Format, clapFormat, aaxFormat })
    {
        EXPECT_EQ (main.getInstallFolders()[(size_t) format], juce::File()) << format;
        EXPECT_EQ (main.pluginItemFor (format), juce::File()) << format;
        EXPECT_FALSE (main.isPluginItemPresent (format));
        EXPECT_FALSE (main.isSelected (format));
    }

    EXPECT_EQ (workDir.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0)
        << "something was created relative to the working directory";
   #if JUCE_WINDOWS
    EXPECT_FALSE (juce::File ("C:\\Plugins").exists());
   #endif
    EXPECT_EQ (readBytes (home.settingsFile()), file);   // not repaired
}

//==============================================================================
TEST (SettingsFile, WriteFolderSettingChangesExactlyOneAttribute)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    MainComponent created;
    const auto original = juce::XmlDocument::parse (home.settingsFile());
    ASSERT_NE (original, nullptr);

    ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "VST3_Path", path (home, "chosen vst3"), platform::defaultInstallFolders()));
    ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "AAX_Path", path (home, "chosen aax"), platform::defaultInstallFolders()));

    const auto after = juce::XmlDocument::parse (home.settingsFile());
    ASSERT_NE (after, nullptr);
    ASSERT_EQ (after->getNumAttributes(), 5);

    for (int i = 0; i < 5; ++i)
    {
        const auto name = original->getAttributeName (i);
        EXPECT_EQ (after->getAttributeName (i), name);   // order kept

        if (name == "VST3_Path")
            EXPECT_EQ (after->getAttributeValue (i), path (home, "chosen vst3"));
        else if (name == "AAX_Path")
            EXPECT_EQ (after->getAttributeValue (i), path (home, "chosen aax"));
        else
            EXPECT_EQ (after->getAttributeValue (i), original->getAttributeValue (i)) << name;
    }

    EXPECT_TRUE (readBytes (home.settingsFile()).find ("\r\n") != std::string::npos);
}

TEST (SettingsFile, AChoiceWhereNoFileIsYetMakesTheFolderAndFileSoTheNextStartKeepsIt)
{
    // A machine where no installer of the maker has run: no settings folder.
    IsolatedHome home;
    ASSERT_FALSE (home.settingsFolder().exists());
    auto folders = platform::defaultInstallFolders();
    folders[vst3Format] = juce::File (path (home, "chosen vst3"));

    ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "VST3_Path", path (home, "chosen vst3"), folders));

    const auto written = SettingsFile::readDocument (home.settingsFile());
    ASSERT_NE (written, nullptr);
    const juce::StringArray order { "Important_Note:", "CLAP_Path", "VST3_Path", "VST2_Path", "AAX_Path" };
    ASSERT_EQ (written->getNumAttributes(), order.size());
    for (int i = 0; i < order.size(); ++i)
        EXPECT_EQ (written->getAttributeName (i), order[i]);

    MainComponent next;
    for (int format = 0; format < numFormats; ++format)
        EXPECT_EQ (next.getInstallFolders()[(size_t) format],
                   format == vst3Format ? juce::File (path (home, "chosen vst3")) : home.defaultFolder (format)) << format;

    EXPECT_FALSE (SettingsFile::writeFolderSetting (juce::File(), "VST3_Path", path (home, "x"), folders));
}

TEST (SettingsFile, UnknownMachineDataFolderMeansNoSettingsFolder)
{
    EXPECT_EQ (SettingsFile::settingsFolderIn (juce::File()), juce::File());
    EXPECT_EQ (SettingsFile::settingsFileIn (juce::File()), juce::File());
}
