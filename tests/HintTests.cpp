#include "TestEnvironment.h"
#include "../ui/MainComponent.h"

namespace
{
    juce::String hover (MainComponent& main, const juce::String& name)
    {
        buttonNamed (main, name).setState (juce::Button::buttonOver);
        return main.getHintLabel().getText();
    }

    void leave (MainComponent& main, const juce::String& name)
    {
        buttonNamed (main, name).setState (juce::Button::buttonNormal);
    }
}

TEST (Hints, EveryButtonExplainsItself)
{
    const std::pair<const char*, const char*> fixed[] = {
        { "EULA",     "Click to read End-User License Agreement" },
        { "MANUAL",   "Click to open product manual in your web browser" },
        { "WEBSITE",  "Click to open product page on the Tessarine website" },
        { "SUPPORT",  "Email and Discord support" },
        { "SETTINGS", "Click to set the install folder for each format" },
        { "CHANGES",  "Click to view release notes" },
        { "INSTALL",  "Click to install selected. Shift-click to uninstall selected" },
    };

    IsolatedHome home;
    MainComponent main;
    EXPECT_EQ (main.getHintLabel().getText(), "1.3.0");

    for (auto [name, hint] : fixed)
    {
        EXPECT_EQ (hover (main, name), hint);
        leave (main, name);
        EXPECT_EQ (main.getHintLabel().getText(), "") << name;
    }

    main.modifierKeysChanged (juce::ModifierKeys (juce::ModifierKeys::shiftModifier));
    EXPECT_EQ (hover (main, "INSTALL"), "Click to install selected. Shift-click to uninstall selected");
}

TEST (Hints, FormatHintsFollowPresenceAtEachHover)
{
    IsolatedHome home;
    const auto vst3 = home.defaultFolder (vst3Format).getChildFile ("Vantorix3.vst3");
    ASSERT_TRUE (installFormat (home.defaultFolder (vst3Format), "Vantorix3", vst3Format, archiveFor (vst3Format)).succeeded);
    MainComponent main;

    EXPECT_EQ (hover (main, "VST3"), "Select to update VST3 to 3.3.0");       // current, still "update"
    EXPECT_EQ (hover (main, "CLAP"), "Select to install CLAP");
    EXPECT_EQ (hover (main, "VST2"), "Select to install VST2");
    EXPECT_EQ (hover (main, "AAX"), "Select to install AAX");

    vst3.deleteRecursively();                                                  // removed by hand meanwhile
    leave (main, "VST3");
    EXPECT_EQ (hover (main, "VST3"), "Select to install VST3");
}

TEST (Hints, SelectAllKeepsTheLineAndPressingKeepsTheHint)
{
    IsolatedHome home;
    MainComponent main;

    hover (main, "EULA");
    leave (main, "EULA");
    EXPECT_EQ (hover (main, "SELECT_ALL"), "");                                 // stays as it was: empty

    hover (main, "CHANGES");
    buttonNamed (main, "CHANGES").setState (juce::Button::buttonDown);
    buttonNamed (main, "CHANGES").setState (juce::Button::buttonOver);
    EXPECT_EQ (main.getHintLabel().getText(), "Click to view release notes");
    EXPECT_EQ (hover (main, "SELECT_ALL"), "Click to view release notes");
}

TEST (Hints, ShiftAloneDecidesUninstall)
{
    IsolatedHome home;
    MainComponent main;
    using MK = juce::ModifierKeys;

    main.modifierKeysChanged (MK (MK::ctrlModifier));
    EXPECT_FALSE (main.isShiftHeld());
    main.modifierKeysChanged (MK (MK::ctrlModifier | MK::shiftModifier | MK::leftButtonModifier));
    EXPECT_TRUE (main.isShiftHeld());
    main.modifierKeysChanged (MK (MK::shiftModifier | MK::altModifier));
    EXPECT_TRUE (main.isShiftHeld());
    main.modifierKeysChanged (MK (MK::altModifier));
    EXPECT_FALSE (main.isShiftHeld());
}
