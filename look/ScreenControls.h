#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include <functional>

/** One control of a painted screen: what it is called, what it says, and
    what it does. A screen keeps these in one table; its buttons, hover hints,
    keyboard and screen reader all read the same entry. */
struct ScreenControl
{
    juce::String name;                                  // the component's name, for finding it; the entry itself says what it does
    std::function<juce::String()> title;                // what a screen reader calls it
    std::function<juce::String()> hint;                 // the hover hint, also the reader's help text
    std::function<void()> action;                       // what a click, Return, Space or a reader's press does
    std::function<juce::String()> state = nullptr;      // read after the title, e.g. "v3.3.0.0 INSTALLED"
    std::function<bool()> checked = nullptr;            // set for a toggle: whether it is on

    /** Words that never change, for the title or hint of an entry. */
    static std::function<juce::String()> says (const char* text)  { return [text] { return juce::String (text); }; }
};

/** The transparent button laid over what a screen paints. Clicks arrive at
    the listener as with any button; Return and Space press it too. It takes
    keyboard focus from Tab but never from a mouse click, so a mouse user
    never sees a focus ring. A screen reader finds it by its entry's title,
    hint and state, as a button or, for a toggle, a checkable toggle button. */
class ScreenButton : public juce::TextButton
{
public:
    ScreenButton (ScreenControl, juce::Button::Listener&);

    const ScreenControl control;

    /** What a click does, at once: the listener hears of it as of a click.
        Return, Space and a screen reader's press and toggle come here. */
    void press();

    bool keyPressed (const juce::KeyPress&) override;
    bool keyStateChanged (bool keyIsDown) override;

    /** While the keyboard is in use, the listener hears of focus coming and
        going as of a change of state, so a hint can follow the keyboard as
        it follows the pointer. */
    void focusGained (FocusChangeType) override;
    void focusLost (FocusChangeType) override;

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    // Not the framework's triggerClick: that shows the button held down until
    // it next paints, which a transparent button never does.
    juce::Button::Listener& listener;

    // A held Return or Space presses once: the system's repeats, here or in
    // a panel the press just opened, do nothing until the key is let go.
    bool pressKeyHeld = false;
};

/** Text a screen paints itself, offered to screen readers: it paints nothing
    and lets the mouse through to what is beneath. */
class ScreenText : public juce::Component
{
public:
    explicit ScreenText (std::function<juce::String()> text);

    std::function<juce::String()> text;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;
};

/** The focus ring is drawn only while the keyboard is in use: from the
    first key pressed in a window until the next mouse click in it. Its
    watcher hears both, from every component inside the one it is given to. */
namespace FocusRing
{
    /** White: at least 3:1 against everything the ring is drawn beside, the
        house background and every panel's, the tiles installed or not (blue,
        orange, grey), the link buttons and the text fields; no colour of the
        palette is (blue is an installed tile's own fill). */
    inline const juce::Colour colour { juce::Colours::white };

    bool isShown();

    /** How far outside a control the ring reaches: a gap, then the line. */
    inline constexpr int gap = 2, thickness = 2;

    /** Draws the ring in the area given, the line along its inside edge. */
    void draw (juce::Graphics&, juce::Rectangle<int> area);

    /** A screen or panel holds the focus itself until the keyboard is used,
        so that no control holds it unseen. Tab or Shift+Tab pressed then
        gives its first or last control the focus; true when the key was one
        of those. */
    bool enter (juce::Component& container, const juce::KeyPress&);

    /** Where focus goes as a screen or panel comes up: its first control
        while the keyboard is in use, else the screen or panel itself. */
    void focusOnShow (juce::Component& container);

    /** Shows or hides the ring; the ring of the focused control is redrawn. */
    void setShown (bool);

    class Watcher : public juce::KeyListener,
                    public juce::MouseListener
    {
    public:
        explicit Watcher (juce::Component& top);
        ~Watcher() override;

        bool keyPressed (const juce::KeyPress&, juce::Component*) override;
        void mouseDown (const juce::MouseEvent&) override;

    private:
        juce::Component& top;
    };
}
