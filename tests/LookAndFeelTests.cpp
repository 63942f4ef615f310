// The house style as the framework's own widgets see it. Expected colours are
// written as literal ARGB values, so that a wrong palette value fails here
// rather than passing every test that compares with the palette itself.

#include "TestEnvironment.h"
#include "../look/CustomLookAndFeel.h"
#include "../look/Palette.h"
#include "../ui/MainComponent.h"

TEST (LookAndFeel, ThePaletteHoldsTheHouseColours)
{
    const std::pair<juce::Colour, juce::uint32> palette[] = {
        { Palette::nearBlack, 0xff111111 }, { Palette::charcoal, 0xff171717 }, { Palette::offWhite, 0xfff5f5f5 },
        { Palette::warmGrey,  0xffaaa6a6 }, { Palette::green,    0xff86cf7a }, { Palette::blue,     0xff0094d8 },
        { Palette::yellow,    0xffd3c55f }, { Palette::orange,   0xffe08a2a }, { Palette::slate,    0xff393e44 },
        { Palette::ink,       0xff101316 }, { Palette::gunmetal, 0xff21272c },
    };

    for (const auto& [colour, argb] : palette)
        EXPECT_EQ (colour.getARGB(), argb) << colour.toDisplayString (true);
}

TEST (LookAndFeel, FrameworkWidgetsTakeTheHouseColours)
{
    CustomLookAndFeel lookAndFeel;
    const std::pair<int, juce::uint32> colours[] = {
        { juce::PopupMenu::backgroundColourId,            0xff111111 },
        { juce::PopupMenu::highlightedBackgroundColourId, 0x8086cf7a },
        { juce::PopupMenu::textColourId,                  0xfff5f5f5 },
        { juce::PopupMenu::highlightedTextColourId,       0xfff5f5f5 },
        { juce::AlertWindow::backgroundColourId,          0xff111111 },
        { juce::AlertWindow::textColourId,                0xffaaa6a6 },
        { juce::PropertyComponent::labelTextColourId,     0x8086cf7a },
        { juce::ScrollBar::thumbColourId,                 0xffaaa6a6 },
        { juce::ResizableWindow::backgroundColourId,      0xff111111 },
        { juce::TextEditor::backgroundColourId,           0xff111111 },
        { juce::ListBox::backgroundColourId,              0xff111111 },
        { juce::TextButton::buttonColourId,               0xff111111 },
        { juce::Label::textColourId,                      0xfff5f5f5 },
    };

    for (const auto& [id, argb] : colours)
        EXPECT_EQ (lookAndFeel.findColour (id).getARGB(), argb) << juce::String::toHexString (id);
}

TEST (LookAndFeel, EveryFontIsSetInTheRegularFace)
{
    // Asked directly: the framework caches typefaces per font, which would
    // hide a wrong answer behind an earlier right one.
    CustomLookAndFeel lookAndFeel;
    ASSERT_NE (lookAndFeel.regularTypeface, nullptr);
    ASSERT_NE (lookAndFeel.semiboldTypeface, nullptr);
    EXPECT_NE (lookAndFeel.regularTypeface.get(), lookAndFeel.semiboldTypeface.get());

    const juce::Font fonts[] = {
        juce::Font ("Some Other Family", 20.0f, juce::Font::bold | juce::Font::italic),
        juce::Font ("Some Other Family", 12.0f, juce::Font::plain),
        juce::Font (30.0f, juce::Font::bold),
        juce::Font(),
    };

    for (const auto& font : fonts)
        EXPECT_EQ (lookAndFeel.getTypefaceForFont (font).get(), lookAndFeel.regularTypeface.get()) << font.toString();
}

TEST (LookAndFeel, PopupMenusShowThirtyPixelSpacedText)
{
    CustomLookAndFeel lookAndFeel;
    const auto font = lookAndFeel.getPopupMenuFont();

    EXPECT_FLOAT_EQ (font.getHeight(), 30.0f);
    EXPECT_FALSE (font.isBold());
    EXPECT_FALSE (font.isItalic());
    EXPECT_FLOAT_EQ (font.getExtraKerningFactor(), 0.1f);
    EXPECT_FLOAT_EQ (font.getHorizontalScale(), 1.0f);
}

TEST (LookAndFeel, AComboBoxIsACharcoalPillWithItsTextCentred)
{
    CustomLookAndFeel lookAndFeel;
    juce::ComboBox box;
    box.setSize (100, 20);

    juce::Image image (juce::Image::ARGB, 100, 20, true);
    {
        juce::Graphics g (image);
        lookAndFeel.drawComboBox (g, 100, 20, true, 80, 0, 20, 20, box);
    }

    EXPECT_EQ (image.getPixelAt (50, 10).getARGB(), 0xff171717u);      // the middle
    EXPECT_EQ (image.getPixelAt (2, 10).getARGB(), 0xff171717u);       // inside the round end, radius 10
    EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0);                 // outside it
    EXPECT_EQ (image.getPixelAt (99, 19).getAlpha(), 0);
    EXPECT_EQ (image.getPixelAt (95, 10).getARGB(), 0xff171717u);      // no arrow drawn in the button area

    juce::Label label;
    label.setJustificationType (juce::Justification::centredLeft);
    lookAndFeel.positionComboBoxText (box, label);
    EXPECT_EQ (label.getBounds(), juce::Rectangle<int> (1, 1, 100, 18));
    EXPECT_FLOAT_EQ (label.getFont().getHeight(), 14.0f);
    EXPECT_FALSE (label.getFont().isBold());
    EXPECT_EQ (label.getJustificationType(), juce::Justification (juce::Justification::centred));
}

TEST (LookAndFeel, TheMainComponentMakesItTheProcessDefault)
{
    IsolatedHome home;
    MainComponent main;
    EXPECT_EQ (&juce::LookAndFeel::getDefaultLookAndFeel(), &main.getCustomLookAndFeel());
    EXPECT_EQ (&main.getHintLabel().getLookAndFeel(), &main.getCustomLookAndFeel());
}
