#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The frame every overlay panel shares: it covers the whole main screen in the
    house background, shows a title line, and a round close control at the top
    right that detaches the panel from its owner. The owner keeps the object
    until it opens the same kind again.

    All geometry is in multiples of `unit`, the owner's layout unit, which the
    owner copies in before it gives the panel its bounds. */
class OverlayPanel : public juce::Component,
                     public juce::Button::Listener
{
public:
    OverlayPanel();
    ~OverlayPanel() override;

    float unit = 9.0f;

protected:
    /** Fills the background, draws the title (none when empty) and the close control. */
    void paintFrame (juce::Graphics&, const juce::String& title);
    void layoutCloseButton();

    /** A rectangle given in units, each value rounded to the nearest pixel. */
    juce::Rectangle<int> unitBounds (float x, float y, float width, float height) const;
    void close();

    juce::TextButton closeButton;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OverlayPanel)
};
