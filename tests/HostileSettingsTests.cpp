// The settings file sits where ordinary users may write, and the program runs
// elevated. Anything beyond the plain format counts as a file that does not
// parse, for all three readers: start, the settings panel, and the write of a
// chosen folder. Defaults are used, the file is never rewritten, nothing
// crashes or hangs, and no other file is opened.

#include "TestEnvironment.h"
#include "../install/SettingsFile.h"
#include "../platform/Platform.h"
#include "../panels/panel_settings.h"
#include "../ui/MainComponent.h"
#include <atomic>
#include <thread>

#if ! JUCE_WINDOWS
 #include <fcntl.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

namespace
{
    std::string repeated (const std::string& text, size_t times)
    {
        std::string result;
        result.reserve (text.size() * times);
        for (size_t i = 0; i < times; ++i)
            result += text;
        return result;
    }

    /** Every reader of the settings file sees it as not parsing. */
    void expectTreatedAsNotParsing (const IsolatedHome& home, const std::string& bytes)
    {
        {
            MainComponent main;

            for (int format = 0; format < numFormats; ++format)
                EXPECT_EQ (main.getInstallFolders()[(size_t) format], home.defaultFolder (format)) << format;
        }

        panel_settings panel (home.settingsFile(), platform::defaultInstallFolders(), {});
        for (int row = 0; row < numFormats; ++row)
            EXPECT_TRUE (panel.getEditor (row).getText().isEmpty()) << row;

        panel.folderChosen (0, home.root.getChildFile ("chosen"));
        EXPECT_FALSE (SettingsFile::writeFolderSetting (home.settingsFolder(), "CLAP_Path", home.root.getFullPathName(), platform::defaultInstallFolders()));

        EXPECT_TRUE (readBytes (home.settingsFile()) == bytes) << "the file was rewritten";
    }
}

TEST (HostileSettings, FilesBeyondThePlainFormatCountAsNotParsing)
{
    const std::string open = "<Plugin_Manager_Settings VST3_Path=\"";

    const std::pair<const char*, std::string> cases[] = {
        { "a recursive entity", "<!DOCTYPE r [<!ENTITY a \"x&a;\">]><r VST3_Path=\"&a;\"/>" },
        { "entities that multiply", "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                                    "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]><r VST3_Path=\"&c;\"/>" },
        { "a DTD in lower case", "<!doctype r><r VST3_Path=\"/x\"/>" },
        { "an entity declaration without a DOCTYPE", "<!ENTITY a \"x\"><r VST3_Path=\"&a;\"/>" },
        { "an entity nobody declared", open + "&undeclared;\"/>" },
        { "100,000 nested elements", open + "/x\">" + repeated ("<a>", 100000) + repeated ("</a>", 100000) + "</Plugin_Manager_Settings>" },
        { "one child element", open + "/x\"><child/></Plugin_Manager_Settings>" },
        { "a second root", open + "/x\"/><Plugin_Manager_Settings/>" },
        { "a 50 MB file", open + "/x\" Padding=\"" + std::string (50u << 20, 'p') + "\"/>" },
        { "a file just over 1 MB", open + "/x\" Padding=\"" + std::string (1u << 20, 'p') + "\"/>" },
        { "an overlong UTF-8 form", open + "/x\xC0\xAF\"/>" },
        { "a UTF-16 surrogate in UTF-8", open + "/x\xED\xA0\x80\"/>" },
        { "a byte that is never UTF-8", open + "/x\xFF\"/>" },
        { "a sequence cut short", open + "/x\xE2\x82\"/>" },
        { "a NUL byte", open + "/x" + std::string (1, '\0') + "y\"/>" },
        { "an unterminated comment", "<!-- " + open + "/x\"/>" },
        { "an unterminated tag", open + "/x\" " },
    };

    for (const auto& [name, bytes] : cases)
    {
        SCOPED_TRACE (name);
        IsolatedHome home;
        writeBytes (home.settingsFile(), bytes);
        expectTreatedAsNotParsing (home, bytes);
    }
}

#if ! JUCE_WINDOWS
TEST (HostileSettings, AnExternalEntityIsNeverOpened)
{
    // The entity names a pipe: a reader that opened it would show up at the
    // writing end, and would block there until a writer came.
    IsolatedHome home;
    const auto pipe = home.root.getChildFile ("secret");
    ASSERT_EQ (::mkfifo (pipe.getFullPathName().toRawUTF8(), 0600), 0);
    const auto bytes = "<!DOCTYPE r [<!ENTITY s SYSTEM \"" + pipe.getFullPathName().toStdString()
                     + "\">]><Plugin_Manager_Settings VST3_Path=\"&s;\"/>";
    writeBytes (home.settingsFile(), bytes);

    std::atomic<bool> done { false }, opened { false };
    std::thread watcher ([&]
    {
        while (! done)
        {
            const auto fd = ::open (pipe.getFullPathName().toRawUTF8(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
            {
                opened = true;      // a reader is there; closing lets it go
                ::close (fd);
            }
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
        }
    });

    expectTreatedAsNotParsing (home, bytes);
    done = true;
    watcher.join();
    EXPECT_FALSE (opened);
}

TEST (HostileSettings, APipeInPlaceOfTheFileIsNotWaitedOn)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    ASSERT_EQ (::mkfifo (home.settingsFile().getFullPathName().toRawUTF8(), 0600), 0);

    MainComponent main;    // would block for good on opening the pipe
    EXPECT_EQ (main.getInstallFolders()[0], home.defaultFolder (vst3Format));
}
#endif

TEST (HostileSettings, ThePlainFormatStillReadsWithEntitiesOfXmlItself)
{
    IsolatedHome home;
    const auto folder = home.root.getChildFile ("Tom & Jerry's plug-ins");
    const auto escaped = folder.getFullPathName().replace ("&", "&amp;").replace ("'", "&#39;");
    const std::string bytes = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- kept out of the way -->\r\n"
                              "<Plugin_Manager_Settings VST3_Path=\"" + escaped.toStdString() + "\" VST2_Path=\"\" "
                              "CLAP_Path=\"" + home.root.getFullPathName().toStdString() + "&#47;clap\" AAX_Path=\"\"/>";
    writeBytes (home.settingsFile(), bytes);

    MainComponent main;
    EXPECT_EQ (main.getInstallFolders()[vst3Format], folder);
    EXPECT_EQ (main.getInstallFolders()[clapFormat], home.root.getChildFile ("clap"));
    EXPECT_TRUE (folder.isDirectory());

    // Written back, the '&' stays one character of the path.
    ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "AAX_Path", home.root.getChildFile ("aax").getFullPathName(), platform::defaultInstallFolders()));
    MainComponent again;
    EXPECT_EQ (again.getInstallFolders()[vst3Format], folder);
    EXPECT_NE (readBytes (home.settingsFile()).find ("Tom &amp; Jerry"), std::string::npos);
}

TEST (HostileSettings, DevicePathsNameNoFolder)
{
   #if JUCE_WINDOWS
    IsolatedHome home;
    const std::string bytes = "<Plugin_Manager_Settings VST3_Path=\"\\\\.\\PhysicalDrive0\" VST2_Path=\"\\\\?\\GLOBALROOT\\Device\\Null\" "
                              "CLAP_Path=\"\\\\?\\C:\\long\\clap\" AAX_Path=\"\\\\.\\pipe\\x\"/>";
    writeBytes (home.settingsFile(), bytes);

    MainComponent main;
    EXPECT_EQ (main.getInstallFolders()[vst3Format], juce::File());
    EXPECT_EQ (main.getInstallFolders()[vst2Format], juce::File());
    EXPECT_EQ (main.getInstallFolders()[aaxFormat], juce::File());
    EXPECT_EQ (main.getInstallFolders()[clapFormat].getFullPathName(), "\\\\?\\C:\\long\\clap");
    EXPECT_EQ (readBytes (home.settingsFile()), bytes);
   #else
    GTEST_SKIP() << "a Windows path form";
   #endif
}

TEST (HostileSettings, AFileMarkedReadOnlyIsLeftAsItWas)
{
    IsolatedHome home;
    home.settingsFolder().createDirectory();
    { MainComponent created; }
    const auto before = readBytes (home.settingsFile());
    ASSERT_FALSE (before.empty());
    ASSERT_TRUE (home.settingsFile().setReadOnly (true));

    juce::String reported;
    panel_settings panel (home.settingsFile(), platform::defaultInstallFolders(), [&] (const juce::String&, const juce::String& p) { reported = p; });
    const auto chosen = home.root.getChildFile ("chosen");
    chosen.createDirectory();
    panel.folderChosen (2, chosen);

    EXPECT_EQ (readBytes (home.settingsFile()), before);
    EXPECT_EQ (reported, chosen.getFullPathName());       // the choice still holds for this run
    EXPECT_TRUE (home.settingsFile().setReadOnly (false));
}

TEST (HostileSettings, WithoutASettingsFolderTheSystemVst2FolderStillCounts)
{
    IsolatedHome home;
    auto folders = platform::defaultInstallFolders();
    const auto system = home.root.getChildFile ("system vst2").getFullPathName();

    SettingsFile::loadSettings (juce::File(), folders, [&] { return system; });
    EXPECT_EQ (folders[vst2Format].getFullPathName(), system);
    EXPECT_EQ (folders[vst3Format], home.defaultFolder (vst3Format));
}
