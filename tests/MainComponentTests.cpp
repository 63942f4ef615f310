#include "TestEnvironment.h"
#include "../ui/MainComponent.h"

namespace
{
    juce::Component* childNamed (juce::Component& parent, const juce::String& name)
    {
        for (auto* child : parent.getChildren())
            if (child->getName() == name)
                return child;

        return nullptr;
    }

    struct LayoutRow
    {
        const char* name;
        juce::Rectangle<int> at600, at1000;
    };

    const LayoutRow layoutTable[] = {
        { "EULA",       { 24, 444,  96, 24 }, { 40, 740, 160, 40 } },
        { "MANUAL",     { 24, 474,  96, 24 }, { 40, 790, 160, 40 } },
        { "WEBSITE",    { 126, 444, 96, 24 }, { 210, 740, 160, 40 } },
        { "SUPPORT",    { 126, 474, 96, 24 }, { 210, 790, 160, 40 } },
        { "SETTINGS",   { 228, 444, 96, 24 }, { 380, 740, 160, 40 } },
        { "CHANGES",    { 228, 474, 96, 24 }, { 380, 790, 160, 40 } },
        { "INSTALL",    { 516, 441, 60, 60 }, { 860, 735, 100, 100 } },
        { "SELECT_ALL", { 462, 132, 114, 30 }, { 770, 220, 190, 50 } },
        { "VST3",       { 24, 180, 270, 60 }, { 40, 300, 450, 100 } },
        { "CLAP",       { 306, 180, 270, 60 }, { 510, 300, 450, 100 } },
        { "AAX",        { 24, 252, 270, 60 }, { 40, 420, 450, 100 } },
        { "VST2",       { 306, 252, 270, 60 }, { 510, 420, 450, 100 } },
    };
}

TEST (MainComponent, ChildrenFollowTheLayoutTableAtBothSizes)
{
    IsolatedHome home;
    MainComponent main;

    EXPECT_EQ (main.getBounds(), juce::Rectangle<int> (0, 0, 600, 600));
    EXPECT_FLOAT_EQ (main.getLayoutUnit(), 6.0f);

    for (const auto& row : layoutTable)
    {
        auto* child = childNamed (main, row.name);
        ASSERT_NE (child, nullptr) << row.name;
        EXPECT_EQ (child->getBounds(), row.at600) << row.name;
    }
    EXPECT_EQ (main.getHintLabel().getBounds(), juce::Rectangle<int> (24, 540, 552, 18));

    main.setSize (1000, 1000);
    EXPECT_FLOAT_EQ (main.getLayoutUnit(), 10.0f);

    for (const auto& row : layoutTable)
        EXPECT_EQ (childNamed (main, row.name)->getBounds(), row.at1000) << row.name;

    EXPECT_EQ (main.getHintLabel().getBounds(), juce::Rectangle<int> (40, 900, 920, 30));
    EXPECT_FLOAT_EQ (main.getHintLabel().getFont().getHeight(), 30.0f);
}

TEST (MainComponent, ButtonsAreInvisibleNamedAreasInReadingOrder)
{
    IsolatedHome home;
    MainComponent main;

    // Tab walks them in this order: the tiles row by row, SELECT ALL,
    // INSTALL, then the links row by row.
    const juce::StringArray expectedOrder { "VST3", "CLAP", "AAX", "VST2", "SELECT_ALL", "INSTALL",
                                            "EULA", "WEBSITE", "SETTINGS", "MANUAL", "SUPPORT", "CHANGES" };
    juce::Array<juce::Button*> buttons;
    for (auto* child : main.getChildren())
        if (auto* button = dynamic_cast<juce::Button*> (child))
            buttons.add (button);
    ASSERT_EQ (buttons.size(), expectedOrder.size());

    for (int i = 0; i < expectedOrder.size(); ++i)
    {
        auto* button = buttons[i];
        EXPECT_EQ (button->getName(), expectedOrder[i]);
        EXPECT_TRUE (button->isVisible());
        EXPECT_EQ (button->getAlpha(), 0.0f) << expectedOrder[i];
        EXPECT_TRUE (button->getButtonText().isEmpty());
        EXPECT_EQ (button->getExplicitFocusOrder(), i + 1) << expectedOrder[i];
        EXPECT_TRUE (button->getWantsKeyboardFocus());
        EXPECT_FALSE (button->getMouseClickGrabsKeyboardFocus()) << "a mouse user would get a focus ring";
    }

    auto& hint = main.getHintLabel();
    EXPECT_EQ (hint.getText(), "1.3.0");
    EXPECT_EQ (hint.getJustificationType(), juce::Justification::centred);
    EXPECT_EQ (hint.findColour (juce::Label::textColourId), juce::Colour (0x80aaa6a6));
}

TEST (MainComponent, FormatsPresentAtStartBeginSelected)
{
    IsolatedHome home;
    // A bundle folder for VST3 and a plain file for CLAP; whatever kind the entry
    // is, its presence is what counts.
    home.defaultFolder (vst3Format).getChildFile ("Vantorix3.vst3").createDirectory();
    writeBytes (home.defaultFolder (clapFormat).getChildFile ("Vantorix3.clap"), "x");
    writeBytes (home.defaultFolder (vst2Format).getChildFile ("Another.dll"), "x");

    MainComponent main;

    EXPECT_TRUE (main.isSelected (vst3Format));
    EXPECT_FALSE (main.isSelected (vst2Format));
    EXPECT_TRUE (main.isSelected (clapFormat));
    EXPECT_FALSE (main.isSelected (aaxFormat));
    EXPECT_EQ (main.pluginItemFor (aaxFormat), home.defaultFolder (aaxFormat).getChildFile ("Vantorix3.aaxplugin"));
    home.defaultFolder (vst2Format).getChildFile ("Another.dll").deleteFile();
}

TEST (MainComponent, SetInstallFolderTakesKnownAttributesOnly)
{
    IsolatedHome home;
    MainComponent main;
    const auto before = main.getInstallFolders();
    const auto chosen = home.root.getChildFile ("chosen");

    main.setInstallFolder ("Unknown_Path", chosen.getFullPathName());
    main.setInstallFolder ("vst3_path", chosen.getFullPathName());
    EXPECT_EQ (main.getInstallFolders(), before);

    const std::array<const char*, 4> attributes { "VST3_Path", "VST2_Path", "CLAP_Path", "AAX_Path" };
    for (size_t i = 0; i < attributes.size(); ++i)
    {
        const auto folder = chosen.getChildFile (attributes[i]);
        main.setInstallFolder (attributes[i], folder.getFullPathName());
        EXPECT_EQ (main.getInstallFolders()[i], folder) << attributes[i];
    }

    main.setInstallFolder ("CLAP_Path", "not/absolute");
    EXPECT_EQ (main.pluginItemFor (clapFormat), juce::File());
}

TEST (MainComponent, DestructionRemovesOnlyAScriptFileOfItsOwn)
{
    IsolatedHome home;
    const auto script = home.tempFolder().getChildFile ("script.sh");

    writeBytes (script, "#!/bin/sh\n");
    { MainComponent main; }
    EXPECT_FALSE (script.exists());

    script.createDirectory();
    { MainComponent main; }
    EXPECT_TRUE (script.isDirectory());
    script.deleteRecursively();

   #if ! JUCE_WINDOWS
    // A link of that name, to a file that is not the program's to remove.
    const auto elsewhere = home.root.getChildFile ("precious.sh");
    writeBytes (elsewhere, "keep");
    ASSERT_TRUE (elsewhere.createSymbolicLink (script, true));
    { MainComponent main; }
    EXPECT_TRUE (script.isSymbolicLink());
    EXPECT_EQ (readBytes (elsewhere), "keep");
    script.deleteFile();

    // Another user's file in a temporary folder all users share.
    writeBytes (script, "theirs");
    if (runCommand ({ "chown", "nobody", script.getFullPathName() }) != 0)
        GTEST_SKIP() << "cannot give a file to another user here";
    { MainComponent main; }
    EXPECT_EQ (readBytes (script), "theirs");
   #endif
}
