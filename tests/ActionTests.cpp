#include "TestEnvironment.h"
#include "../ui/MainComponent.h"
#include "../platform/Platform.h"

namespace
{
    /** Clicks a button; a click on INSTALL waits for the run it starts. */
    void click (MainComponent& main, const juce::String& name)
    {
        main.buttonClicked (&buttonNamed (main, name));

        if (name == "INSTALL")
            main.waitForInstallRun();
    }

    juce::File itemOf (const IsolatedHome& home, int format)
    {
        return home.defaultFolder (format).getChildFile ("Vantorix3" + juce::String (itemExtensions[(size_t) format]));
    }
}

TEST (Actions, FormatTogglesAndSelectAll)
{
    IsolatedHome home;
    MainComponent main;

    click (main, "CLAP");
    EXPECT_TRUE (main.isSelected (clapFormat));
    click (main, "CLAP");
    EXPECT_FALSE (main.isSelected (clapFormat));

    click (main, "AAX");
    click (main, "SELECT_ALL");
    click (main, "SELECT_ALL");
    for (int format = 0; format < numFormats; ++format)
        EXPECT_TRUE (main.isSelected (format)) << format;

    // A button acts by the entry it carries, not by its name: a stranger
    // named exactly as a tile, or nearly, changes nothing.
    for (auto* name : { "CLAP", "SELECT_ALL", "vst3", "" })
    {
        juce::TextButton stranger;
        stranger.setName (name);
        main.buttonClicked (&stranger);
    }
    for (int format = 0; format < numFormats; ++format)
        EXPECT_TRUE (main.isSelected (format)) << format;
}

TEST (Actions, WebsiteAndManualOpenTheProductPage)
{
    IsolatedHome home;
    MainComponent main;
    juce::StringArray opened;
    main.openUrl = [&opened] (const juce::URL& url) { opened.add (url.toString (true)); return true; };

    click (main, "WEBSITE");
    click (main, "MANUAL");
    EXPECT_EQ (opened, juce::StringArray ({ "https://www.tessarine.example/pages/free-and-legacy",
                                            "https://www.tessarine.example/pages/free-and-legacy" }));
}

TEST (Actions, InstallPutsTheSelectedFormatsOnDiskAndFinishes)
{
    IsolatedHome home;
    const auto userAax = itemOf (home, aaxFormat).getChildFile ("Contents/x64/Vantorix3.aaxplugin");
    writeBytes (userAax, "an older copy the user keeps");

    MainComponent main;
    click (main, "AAX");                      // present, so selected at start: deselect it
    click (main, "VST3");
    click (main, "CLAP");
    click (main, "INSTALL");

    EXPECT_TRUE (main.isInstallFinished());
    EXPECT_TRUE (main.didInstallSucceed());
    EXPECT_TRUE (itemOf (home, vst3Format).isDirectory());
    EXPECT_TRUE (itemOf (home, clapFormat).existsAsFile());
    EXPECT_FALSE (itemOf (home, vst2Format).exists());
    EXPECT_EQ (snapshotTree (itemOf (home, aaxFormat)).size(), 3u);
    EXPECT_EQ (readBytes (userAax), "an older copy the user keeps");

    const auto& outcomes = main.getInstallOutcomes();
    EXPECT_TRUE (outcomes[vst3Format].processed && outcomes[clapFormat].processed);
    EXPECT_FALSE (outcomes[vst2Format].processed || outcomes[aaxFormat].processed);
    for (int format = 0; format < numFormats; ++format)
        EXPECT_FALSE (main.isSelected (format));

    EXPECT_EQ (main.detectInstallState (vst3Format).installedVersion, "3.3.0.0");
    EXPECT_EQ (installStateText (main.detectInstallState (clapFormat)), "v3.3.0.0 INSTALLED");
}

TEST (Actions, ShiftInstallRemovesExactlyTheSelectedItems)
{
    IsolatedHome home;
    for (int format = 0; format < numFormats; ++format)
        ASSERT_TRUE (installFormat (home.defaultFolder (format), "Vantorix3", format, archiveFor (format)).succeeded);
    writeBytes (home.defaultFolder (vst3Format).getChildFile ("Other.vst3"), "another plug-in");

    MainComponent main;                       // all four present, so all four start selected
    click (main, "VST2");                     // keep the VST2 copy
    main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    click (main, "SELECT_ALL");               // selects only, even with Shift held
    click (main, "VST2");
    click (main, "INSTALL");

    EXPECT_TRUE (main.didInstallSucceed());
    EXPECT_FALSE (itemOf (home, vst3Format).exists());
    EXPECT_TRUE (itemOf (home, vst2Format).existsAsFile());
    EXPECT_FALSE (itemOf (home, clapFormat).exists());
    EXPECT_FALSE (itemOf (home, aaxFormat).exists());
    EXPECT_EQ (readBytes (home.defaultFolder (vst3Format).getChildFile ("Other.vst3")), "another plug-in");
    for (int format = 0; format < numFormats; ++format)
        EXPECT_TRUE (home.defaultFolder (format).isDirectory()) << "the install folder itself stays";
}

TEST (Actions, NothingSelectedStartsNoRunAndSaysWhy)
{
    // Once green "SUCCESS!" with nothing done, and nothing more could be
    // installed until a restart.
    IsolatedHome home;
    MainComponent main;
    const auto before = snapshotTree (home.root);

    click (main, "INSTALL");
    EXPECT_FALSE (main.isRunning());
    EXPECT_FALSE (main.isInstallFinished());
    EXPECT_EQ (main.getHintLabel().getText(), "Select a format to install first");
    EXPECT_TRUE (buttonNamed (main, "INSTALL").isVisible());
    EXPECT_EQ (snapshotTree (home.root), before);

    main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    click (main, "INSTALL");
    EXPECT_EQ (main.getHintLabel().getText(), "Select a format to uninstall first");

    // And the next click, with a format chosen, still installs.
    main.modifierKeysChanged (juce::ModifierKeys());
    click (main, "CLAP");
    click (main, "INSTALL");
    EXPECT_TRUE (main.isInstallFinished());
    EXPECT_TRUE (itemOf (home, clapFormat).existsAsFile());
}

TEST (Actions, AFailedFormatIsReportedAndTheOthersStillRun)
{
    IsolatedHome home;
    MainComponent main;
    main.setInstallFolder ("VST3_Path", "Plugins/VST3");     // no usable folder
    click (main, "SELECT_ALL");
    click (main, "INSTALL");

    EXPECT_FALSE (main.didInstallSucceed());
    EXPECT_EQ (main.getInstallOutcomes()[vst3Format].reason, InstallFailure::noFolder);
    EXPECT_TRUE (main.getInstallOutcomes()[aaxFormat].succeeded);
    EXPECT_TRUE (itemOf (home, aaxFormat).isDirectory());
}

TEST (Actions, AfterTheRunOnlyTheSixExtraButtonsTakeClicks)
{
    IsolatedHome home;
    MainComponent main;
    main.setVisible (true);
    click (main, "CLAP");
    click (main, "INSTALL");

    for (auto* name : { "VST3", "VST2", "CLAP", "AAX", "SELECT_ALL", "INSTALL" })
    {
        auto& b = buttonNamed (main, name);
        EXPECT_FALSE (b.isVisible()) << name;
        EXPECT_EQ (main.getComponentAt (b.getBounds().getCentre()), &main) << name;
    }

    for (auto* name : { "EULA", "MANUAL", "WEBSITE", "SUPPORT", "SETTINGS", "CHANGES" })
    {
        auto& b = buttonNamed (main, name);
        EXPECT_TRUE (b.isVisible()) << name;
        EXPECT_EQ (main.getComponentAt (b.getBounds().getCentre()), &b) << name;
    }
}

//==============================================================================
// A copy newer than the one carried is never replaced by the click that
// updates everything else; selected on purpose, it is.
TEST (Actions, ANewerCopyIsReplacedOnlyWhenSelectedOnPurpose)
{
    const struct { const char* fixture; bool startsSelected; const char* hint; } cases[] = {
        { "v10.0.0.0.dll", false, "Select to replace the newer v10.0.0.0 of CLAP with 3.3.0" },
        { "v3.4.0.0.dll",  false, "Select to replace the newer v3.4.0.0 of CLAP with 3.3.0" },
        { "v3.3.0.0.dll",  true,  "Select to update CLAP to 3.3.0" },
        { "v3.2.1.0.dll",  true,  "Select to update CLAP to 3.3.0" },
        { "no-version.dll", true, "Select to update CLAP to 3.3.0" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.fixture);
        IsolatedHome home;
        const auto item = itemOf (home, clapFormat);
        writeBytes (item, readBytes (versionFixture (c.fixture)));
        const auto before = readBytes (item);

        {
            MainComponent main;
            EXPECT_EQ (main.isSelected (clapFormat), c.startsSelected);
            buttonNamed (main, "CLAP").setState (juce::Button::buttonOver);
            EXPECT_EQ (main.getHintLabel().getText(), c.hint);
            EXPECT_EQ (installStateText (main.detectInstallState (clapFormat)).contains ("INSTALLED"), juce::String (c.fixture) != "v3.2.1.0.dll");
            buttonNamed (main, "CLAP").setState (juce::Button::buttonNormal);

            click (main, "INSTALL");     // right after start
            EXPECT_TRUE (main.didInstallSucceed());
        }

        if (c.startsSelected)
        {
            EXPECT_EQ (platform::fileVersion (item), "3.3.0.0");
            continue;
        }

        EXPECT_TRUE (readBytes (item) == before) << "the newer copy was touched";

        MainComponent again;
        click (again, "CLAP");           // on purpose
        click (again, "INSTALL");
        EXPECT_TRUE (again.didInstallSucceed());
        EXPECT_EQ (platform::fileVersion (item), "3.3.0.0");
    }
}

TEST (Actions, VersionsCompareByTheirNumbers)
{
    const std::tuple<const char*, const char*, int> cases[] = {
        { "3.3.0.0", "3.3.0", 0 }, { "3.3.0", "3.3.0.0", 0 }, { "3.3.0.1", "3.3.0", 1 },
        { "3.10.0.0", "3.9.0", 1 }, { "3.2.9.0", "3.3.0", -1 }, { "10.0.0.0", "9.9.9", 1 },
        { "03.3.0.0", "3.3.0", 0 }, { "3.3.0-beta", "3.3.0", 1 },
    };

    for (const auto& [a, b, expected] : cases)
    {
        const auto result = compareVersions (a, b);
        EXPECT_EQ ((result > 0) - (result < 0), expected) << a << " vs " << b;
    }
}
