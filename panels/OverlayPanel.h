#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include "../look/ScreenControls.h"

/** The frame every overlay panel shares: it covers the whole main screen in the
    house background, shows a title line, and a round close control at the top
    right (also Escape) that detaches the panel from its owner. The owner
    keeps the object until it opens the same kind again.

    A panel is a focus container: Tab and Shift+Tab walk its own controls in
    the order they were added, the close control last, and never leave it.
    A screen reader finds it as a group named by its title.

    All geometry is in multiples of `unit`, the owner's layout unit, which the
    owner copies in before it gives the panel its bounds. */
class OverlayPanel : public juce::Component,
                     public juce::Button::Listener
{
public:
    explicit OverlayPanel (const juce::String& title);
    ~OverlayPanel() override;

    float unit = 9.0f;

    /** Told once the panel has detached itself. */
    std::function<void()> onClose;

    /** Runs the action of the control pressed. */
    void buttonClicked (juce::Button*) override;

    /** Escape closes the panel, from whichever of its controls has focus. */
    bool keyPressed (const juce::KeyPress&) override;

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

protected:
    /** Fills the background, draws the title (none when empty) and the close control. */
    void paintFrame (juce::Graphics&, const juce::String& title);
    void layoutCloseButton();

    /** A rectangle given in units, each value rounded to the nearest pixel. */
    juce::Rectangle<int> unitBounds (float x, float y, float width, float height) const;
    void close();

    /** Adds a control that takes focus next in Tab order. A text field lets
        Escape through to the panel. */
    template <typename ComponentType>
    ComponentType& addFocusable (ComponentType& c)
    {
        addAndMakeVisible (c);
        c.setExplicitFocusOrder (++focusablesAdded);

        if constexpr (std::is_base_of_v<juce::TextEditor, ComponentType>)
            c.setEscapeAndReturnKeysConsumed (false);

        return c;
    }

    /** A transparent button of this panel, as its entry says. */
    std::unique_ptr<ScreenButton> makeButton (ScreenControl);

    /** Text the panel paints, offered to screen readers over the area it takes. */
    ScreenText& addText (std::function<juce::String()> text);

    ScreenButton closeButton;
    juce::OwnedArray<ScreenText> texts;

private:
    int focusablesAdded = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OverlayPanel)
};
