#include "TestEnvironment.h"
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

    std::string firstStartFile (const std::string& vst2)
    {
        return header
             + "<Plugin_Manager_Settings Important_Note:=\"" + note + "\"\r\n"
             + indent + "CLAP_Path=\"%ROOT%/.clap\" VST3_Path=\"%ROOT%/.vst3\"\r\n"
             + indent + "VST2_Path=\"" + vst2 + "\" AAX_Path=\"%ROOT%/.local/share/Avid/Audio/Plug-Ins\"/>\r\n";
    }

    juce::String path (const IsolatedHome& home, const char* relative)
    {
        return home.root.getChildFile (relative).getFullPathName();
    }
}

//==============================================================================
struct FirstStartCase
{
    const char* name;
    const char* vstPath;          // value of VST_PATH, nullptr when unset
    const char* expectedVst2;     // as written in the file
};

class SettingsFirstStart : public ::testing::TestWithParam<FirstStartCase> {};

TEST_P (SettingsFirstStart, CreatesTheFileByteForByte)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();

    if (GetParam().vstPath != nullptr)
        home.setVariable ("VST_PATH", withRoot (GetParam().vstPath, home.root));

    MainComponent main;

    EXPECT_EQ (readBytes (home.settingsFile()), withRoot (firstStartFile (GetParam().expectedVst2), home.root));
    EXPECT_EQ (main.getInstallFolders()[1].getFullPathName().toStdString(),
               withRoot (GetParam().expectedVst2, home.root));

    // The creating start makes no install folder.
    for (auto* folder : { ".vst3", ".vst", ".clap", ".local/share/Avid" })
        EXPECT_FALSE (home.root.getChildFile (folder).exists()) << folder;

    // A second start reads the file it wrote and leaves it as it was.
    const auto written = readBytes (home.settingsFile());
    MainComponent again;
    EXPECT_EQ (readBytes (home.settingsFile()), written);
    EXPECT_EQ (again.getInstallFolders(), main.getInstallFolders());
}

INSTANTIATE_TEST_SUITE_P (Vst2Default, SettingsFirstStart, ::testing::Values (
    FirstStartCase { "Default", nullptr, "%ROOT%/.vst" },
    FirstStartCase { "FirstAbsoluteSystemFolder", "relative/vst:%ROOT%/system-vst:%ROOT%/other", "%ROOT%/system-vst" }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (SettingsFile, MissingSettingsFolderWritesNothingOnEveryStart)
{
    IsolatedHome home;

    for (int start = 0; start < 2; ++start)
    {
        MainComponent main;
        EXPECT_FALSE (home.settingsFolder().exists());
        EXPECT_EQ (main.getInstallFolders()[0].getFullPathName(), path (home, ".vst3"));
        EXPECT_EQ (main.getSettingsFolder(), home.settingsFolder());
    }
}

TEST (SettingsFile, FileWithoutVst2PathGainsItLastAndKeepsTheRest)
{
    IsolatedHome home;
    home.setVariable ("VST_PATH", path (home, "system-vst"));

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
    home.setVariable ("VST_PATH", path (home, "ignored"));
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
    EXPECT_EQ (main.getInstallFolders()[0].getFullPathName(), path (home, ".vst3"));
    EXPECT_EQ (main.getInstallFolders()[3].getFullPathName(), path (home, ".local/share/Avid/Audio/Plug-Ins"));
    EXPECT_FALSE (SettingsFile::writeFolderSetting (home.settingsFolder(), "VST3_Path", path (home, "new")));
    EXPECT_EQ (readBytes (home.settingsFile()), garbage);
}

TEST (SettingsFile, FolderInPlaceOfTheFileIsNeitherReadNorReplaced)
{
    IsolatedHome home;
    home.settingsFile().createDirectory();

    MainComponent main;

    EXPECT_TRUE (home.settingsFile().isDirectory());
    EXPECT_EQ (main.getInstallFolders()[2].getFullPathName(), path (home, ".clap"));
}

TEST (SettingsFile, EmptyOrRelativeFoldersNameNoPlace)
{
    IsolatedHome home;
    // The working directory is where a relative path would land.
    const auto workDir = home.root.getChildFile ("cwd");
    workDir.createDirectory();
    const auto previousDir = juce::File::getCurrentWorkingDirectory();
    workDir.setAsCurrentWorkingDirectory();

    const std::string file = "<Plugin_Manager_Settings VST2_Path=\"\" CLAP_Path=\"Plugins/CLAP\" AAX_Path=\"%ROOT%/aax\"/>";
    writeBytes (home.settingsFile(), withRoot (file, home.root));

    MainComponent main;
    previousDir.setAsCurrentWorkingDirectory();

    for (auto format : { vst3Format, vst2Format, clapFormat })
    {
        EXPECT_EQ (main.getInstallFolders()[(size_t) format], juce::File()) << format;
        EXPECT_EQ (main.pluginItemFor (format), juce::File()) << format;
        EXPECT_FALSE (main.isPluginItemPresent (format));
        EXPECT_FALSE (main.isSelected (format));
    }

    EXPECT_EQ (workDir.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0)
        << "something was created relative to the working directory";
    EXPECT_EQ (readBytes (home.settingsFile()), withRoot (file, home.root));   // not repaired
}

//==============================================================================
TEST (SettingsFile, WriteFolderSettingChangesExactlyOneAttribute)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    MainComponent created;
    const auto original = juce::XmlDocument::parse (home.settingsFile());
    ASSERT_NE (original, nullptr);

    ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "VST3_Path", path (home, "chosen vst3")));
    ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "AAX_Path", path (home, "chosen aax")));

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

TEST (SettingsFile, WriteFolderSettingNeverCreatesTheFile)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();

    EXPECT_FALSE (SettingsFile::writeFolderSetting (home.settingsFolder(), "VST3_Path", path (home, "x")));
    EXPECT_FALSE (home.settingsFile().exists());
    EXPECT_FALSE (SettingsFile::writeFolderSetting (juce::File(), "VST3_Path", path (home, "x")));
}

TEST (SettingsFile, UnknownMachineDataFolderMeansNoSettingsFolder)
{
    EXPECT_EQ (SettingsFile::settingsFolderIn (juce::File()), juce::File());
    EXPECT_EQ (SettingsFile::settingsFileIn (juce::File()), juce::File());
}
