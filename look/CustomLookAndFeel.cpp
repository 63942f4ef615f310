#include "CustomLookAndFeel.h"
#include "Palette.h"
#include "ScreenControls.h"
#include "../platform/EmbeddedTypeface.h"
#include <BinaryData.h>

CustomLookAndFeel::CustomLookAndFeel()
    : regularTypeface (platform::typefaceFromFontData (BinaryData::QuicksandRegular_ttf,
                                                       (size_t) BinaryData::QuicksandRegular_ttfSize)),
      semiboldTypeface (platform::typefaceFromFontData (BinaryData::QuicksandBold_ttf,
                                                        (size_t) BinaryData::QuicksandBold_ttfSize))
{
    setColour (juce::PopupMenu::backgroundColourId,            Palette::nearBlack);
    setColour (juce::PopupMenu::highlightedBackgroundColourId, Palette::green.withAlpha (0.5f));
    setColour (juce::PopupMenu::textColourId,                  Palette::offWhite);
    setColour (juce::PopupMenu::highlightedTextColourId,       Palette::offWhite);
    setColour (juce::AlertWindow::backgroundColourId,          Palette::nearBlack);
    setColour (juce::AlertWindow::textColourId,                Palette::warmGrey);
    setColour (juce::PropertyComponent::labelTextColourId,     Palette::green.withAlpha (0.5f));
    setColour (juce::ScrollBar::thumbColourId,                 Palette::warmGrey);
    setColour (juce::ResizableWindow::backgroundColourId,      Palette::nearBlack);
    setColour (juce::TextEditor::backgroundColourId,           Palette::nearBlack);
    setColour (juce::ListBox::backgroundColourId,              Palette::nearBlack);
    setColour (juce::TextButton::buttonColourId,               Palette::nearBlack);
    setColour (juce::Label::textColourId,                      Palette::offWhite);
}

CustomLookAndFeel::~CustomLookAndFeel()
{
    regularTypeface = nullptr;
    semiboldTypeface = nullptr;
}

juce::Typeface::Ptr CustomLookAndFeel::getTypefaceForFont (const juce::Font&)
{
    // Every font, whatever family or style it asks for, is drawn in the one
    // embedded face; bold and italic keep their flags and are synthesised.
    return regularTypeface;
}

juce::Font CustomLookAndFeel::getPopupMenuFont()
{
    juce::Font font;
    font.setSizeAndStyle (30.0f, juce::Font::plain, 1.0f, 0.1f);
    return font;
}

void CustomLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool,
                                      int, int, int, int, juce::ComboBox&)
{
    g.setColour (Palette::charcoal);
    g.fillRoundedRectangle (0.0f, 0.0f, (float) width, (float) height, (float) height * 0.5f);
}

juce::Font CustomLookAndFeel::getComboBoxFont (juce::ComboBox& box)
{
    return juce::Font ((float) box.getHeight() * 0.7f, juce::Font::plain);
}

void CustomLookAndFeel::positionComboBoxText (juce::ComboBox& box, juce::Label& label)
{
    label.setBounds (1, 1, box.getWidth(), box.getHeight() - 2);
    label.setFont (getComboBoxFont (box));

    if (label.getJustificationType() != juce::Justification::centred)
        label.setJustificationType (juce::Justification::centred);
}

std::unique_ptr<juce::FocusOutline> CustomLookAndFeel::createFocusOutlineForComponent (juce::Component&)
{
    struct Ring : public juce::FocusOutline::OutlineWindowProperties
    {
        juce::Rectangle<int> getOutlineBounds (juce::Component& c) override
        {
            return c.getScreenBounds().expanded (FocusRing::gap + FocusRing::thickness);
        }

        void drawOutline (juce::Graphics& g, int width, int height) override
        {
            if (FocusRing::isShown())
                FocusRing::draw (g, { width, height });
        }
    };

    return std::make_unique<juce::FocusOutline> (std::make_unique<Ring>());
}
