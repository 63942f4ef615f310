#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The house style for the framework's own widgets: every font in the process
    is set in the embedded regular face, popup menus and combo boxes take the
    palette, and the dark scheme's colours are replaced by palette colours.
    The main component installs it as the process-wide default. */
class CustomLookAndFeel : public juce::LookAndFeel_V4
{
public:
    CustomLookAndFeel();
    ~CustomLookAndFeel() override;

    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;
    juce::Font getPopupMenuFont() override;
    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown,
                       int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox&) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;
    void positionComboBoxText (juce::ComboBox&, juce::Label&) override;

    /** A ring in the house accent a little outside the focused control,
        drawn only while the keyboard is in use (see FocusRing). */
    std::unique_ptr<juce::FocusOutline> createFocusOutlineForComponent (juce::Component&) override;

    juce::Typeface::Ptr regularTypeface;
    juce::Typeface::Ptr semiboldTypeface;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CustomLookAndFeel)
};
