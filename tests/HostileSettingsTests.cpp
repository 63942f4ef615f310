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
    /** Text as UTF-16 with its byte-order mark, as Windows PowerShell writes it. */
    std::string utf16 (const std::string& utf8, bool bigEndian)
    {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        const auto text = juce::String::fromUTF8 (utf8.data(), (int) utf8.size());

        for (auto p = text.toUTF16(); ! p.isEmpty(); ++p)
        {
            const auto unit = (uint16_t) *p.getAddress();
            const char high = (char) (unit >> 8), low = (char) (unit & 0xff);
            bytes += bigEndian ? std::string { high, low } : std::string { low, high };
        }

        return bytes;
    }

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
        { "a reference to nothing", open + "/x&;\"/>" },
        { "a character reference without a number", open + "/x&#;\"/>" },
        { "100,000 nested elements", open + "/x\">" + repeated ("<a>", 100000) + repeated ("</a>", 100000) + "</Plugin_Manager_Settings>" },
        { "elements nested one deeper than allowed", open + "/x\">" + repeated ("<a>", 32) + repeated ("</a>", 32) + "</Plugin_Manager_Settings>" },
        { "a second root", open + "/x\"/><Plugin_Manager_Settings/>" },
        { "a second root after one with children", open + "/x\"><a/></Plugin_Manager_Settings><b/>" },
        { "a closing tag too many", open + "/x\"></a></Plugin_Manager_Settings>" },
        { "a 50 MB file", open + "/x\" Padding=\"" + std::string (50u << 20, 'p') + "\"/>" },
        { "a file just over 1 MB", open + "/x\" Padding=\"" + std::string (1u << 20, 'p') + "\"/>" },
        { "a NUL byte", open + "/x" + std::string (1, '\0') + "y\"/>" },
        { "a NUL in UTF-16", utf16 (open + "/x", false) + std::string (2, '\0') + utf16 ("y\"/>", false).substr (2) },
        { "a DTD written as UTF-16", utf16 ("<!DOCTYPE r [<!ENTITY a \"x&a;\">]><r VST3_Path=\"&a;\"/>", false) },
        { "a DTD written as big-endian UTF-16", utf16 ("<!DOCTYPE r><r VST3_Path=\"/x\"/>", true) },
        { "UTF-16 cut in the middle of a character", utf16 (open + "/x\"/>", false) + "\x41" },
        { "an unterminated comment", "<!-- " + open + "/x\"/>" },
        { "an instruction followed by text inside the root", open + "/x\"><?pi?>text</Plugin_Manager_Settings>" },
        { "an instruction after a character no tag may hold", open + "/x\"><a\x01 text<?pi?>text</a></Plugin_Manager_Settings>" },
        { "an instruction in quotes after a name no attribute may have", open + "/x\"><a !\" <?pi?>text\"/></Plugin_Manager_Settings>" },
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

TEST (HostileSettings, FilesOtherToolsWriteAreReadAndWrittenBack)
{
    // PowerShell writes UTF-16 with a byte-order mark, Set-Content and old
    // Notepad one byte a character; another installer of the maker may keep
    // elements of its own in the file.
    struct Case
    {
        const char* name;
        std::function<std::string (const std::string& utf8)> encode;
        std::string folderName, inside;
    };

    const Case cases[] = {
        { "UTF-16, little-endian", [] (const std::string& t) { return utf16 (t, false); }, "PowerShell plug-ins", "" },
        { "UTF-16, big-endian", [] (const std::string& t) { return utf16 (t, true); }, "Big plug-ins", "" },
        { "Windows-1252 with an e-acute", [] (const std::string& t) { return t; }, "Caf\xC3\xA9 plug-ins", "" },
        { "elements of another installer", [] (const std::string& t) { return t; }, "Shared plug-ins",
          "<Other_Product Path=\"x\">" + repeated ("<a>", 30) + repeated ("</a>", 30) + "</Other_Product>" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        IsolatedHome home;
        const auto folder = home.root.getChildFile (juce::String::fromUTF8 (c.folderName.data(), (int) c.folderName.size()));
        const auto text = "<?xml version=\"1.0\"?>\r\n<Plugin_Manager_Settings VST3_Path=\"" + folder.getFullPathName().toStdString()
                        + "\" VST2_Path=\"\" CLAP_Path=\"\" AAX_Path=\"\">" + c.inside + "</Plugin_Manager_Settings>\r\n";
        auto bytes = c.encode (text);

        // One byte a character: the e-acute as Windows-1252 has it.
        if (juce::String (c.name).startsWith ("Windows"))
        {
            const auto at = bytes.find ("\xC3\xA9");
            ASSERT_NE (at, std::string::npos);
            bytes.replace (at, 2, "\xE9");
        }

        writeBytes (home.settingsFile(), bytes);

        {
            MainComponent main;
            EXPECT_EQ (main.getInstallFolders()[vst3Format], folder);
        }

        const auto aax = home.root.getChildFile ("chosen aax").getFullPathName();
        ASSERT_TRUE (SettingsFile::writeFolderSetting (home.settingsFolder(), "AAX_Path", aax, platform::defaultInstallFolders()));

        const auto written = SettingsFile::readDocument (home.settingsFile());
        ASSERT_NE (written, nullptr);
        EXPECT_EQ (written->getStringAttribute ("VST3_Path"), folder.getFullPathName());
        EXPECT_EQ (written->getStringAttribute ("AAX_Path"), aax);
        EXPECT_EQ (written->getNumChildElements(), c.inside.empty() ? 0 : 1);

        if (! c.inside.empty())
        {
            EXPECT_EQ (written->getChildByName ("Other_Product")->getStringAttribute ("Path"), "x");
        }
    }
}
