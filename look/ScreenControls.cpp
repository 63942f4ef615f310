#include "ScreenControls.h"

namespace
{
    class ScreenButtonHandler : public juce::AccessibilityHandler
    {
    public:
        explicit ScreenButtonHandler (ScreenButton& b)
            : AccessibilityHandler (b, b.control.checked ? juce::AccessibilityRole::toggleButton : juce::AccessibilityRole::button,
                                    actionsFor (b)),
              button (b)
        {
        }

        juce::String getTitle() const override        { return button.control.title(); }
        juce::String getHelp() const override         { return button.control.hint ? button.control.hint() : juce::String(); }
        juce::String getDescription() const override  { return button.control.state ? button.control.state() : juce::String(); }

        juce::AccessibleState getCurrentState() const override
        {
            auto state = AccessibilityHandler::getCurrentState();

            if (button.control.checked)
            {
                state = state.withCheckable();

                if (button.control.checked())
                    state = state.withChecked();
            }

            return state;
        }

    private:
        // Pressing and toggling both do exactly what a click does.
        static juce::AccessibilityActions actionsFor (ScreenButton& b)
        {
            // A control out of sight (under a panel, or gone for a run) does
            // nothing, as a mouse cannot reach it either. A reader presses
            // from the keyboard, which is then in use: a panel it opens puts
            // the focus on its first control, and closing it brings it back.
            const auto pressIfShowing = [&b]
            {
                if (! b.isShowing())
                    return;

                FocusRing::setShown (true);
                b.press();
            };
            auto actions = juce::AccessibilityActions().addAction (juce::AccessibilityActionType::press, pressIfShowing);

            if (b.control.checked)
                actions.addAction (juce::AccessibilityActionType::toggle, pressIfShowing);

            return actions;
        }

        ScreenButton& button;
    };

    class ScreenTextHandler : public juce::AccessibilityHandler
    {
    public:
        explicit ScreenTextHandler (ScreenText& t)
            : AccessibilityHandler (t, juce::AccessibilityRole::staticText), text (t)
        {
        }

        juce::String getTitle() const override  { return text.text(); }

        juce::AccessibleState getCurrentState() const override
        {
            if (text.text().isEmpty())
                return juce::AccessibleState().withIgnored();

            return text.getWantsKeyboardFocus() ? AccessibilityHandler::getCurrentState() : juce::AccessibleState();
        }

    private:
        ScreenText& text;
    };
}

ScreenButton::ScreenButton (ScreenControl c, juce::Button::Listener& l)
    : control (std::move (c)), listener (l)
{
    setName (control.name);
    setAlpha (0.0f);
    addListener (&listener);

    // Tab reaches it, a mouse click does not give it focus.
    setWantsKeyboardFocus (true);
    setMouseClickGrabsKeyboardFocus (false);
    setHasFocusOutline (true);
}

namespace
{
    bool isPressKey (const juce::KeyPress& key)
    {
        return key.getKeyCode() == juce::KeyPress::returnKey || key.getKeyCode() == juce::KeyPress::spaceKey;
    }

    bool isPressKeyDown()
    {
        return juce::KeyPress::isKeyCurrentlyDown (juce::KeyPress::returnKey) || juce::KeyPress::isKeyCurrentlyDown (juce::KeyPress::spaceKey);
    }
}

bool ScreenButton::keyPressed (const juce::KeyPress& key)
{
    if (! isPressKey (key))
        return juce::TextButton::keyPressed (key);

    // Shift stays free: Shift+Return on INSTALL uninstalls, as Shift-click
    // does. With Ctrl or Alt the key is taken and does nothing.
    const auto others = key.getModifiers().withoutFlags (juce::ModifierKeys::shiftModifier).withoutMouseButtons();

    if (others == juce::ModifierKeys() && ! std::exchange (pressKeyHeld, true))
    {
        FocusRing::setShown (true);
        press();
    }

    return true;
}

bool ScreenButton::keyStateChanged (bool keyIsDown)
{
    if (! keyIsDown && ! isPressKeyDown())
        pressKeyHeld = false;

    return false;
}

void ScreenButton::focusGained (FocusChangeType)
{
    pressKeyHeld = isPressKeyDown();

    if (FocusRing::isShown())
        listener.buttonStateChanged (this);
}

void ScreenButton::focusLost (FocusChangeType)
{
    if (FocusRing::isShown())
        listener.buttonStateChanged (this);
}

void ScreenButton::press()
{
    const juce::Component::SafePointer<ScreenButton> self (this);
    listener.buttonClicked (this);

    // A reader hears a toggle's new state when it came from a key.
    if (self != nullptr && control.checked)
        if (auto* handler = getAccessibilityHandler())
            handler->notifyAccessibilityEvent (juce::AccessibilityEvent::valueChanged);
}

std::unique_ptr<juce::AccessibilityHandler> ScreenButton::createAccessibilityHandler()
{
    return std::make_unique<ScreenButtonHandler> (*this);
}

ScreenText::ScreenText (std::function<juce::String()> t)
    : text (std::move (t))
{
    setInterceptsMouseClicks (false, false);
    setWantsKeyboardFocus (false);
}

std::unique_ptr<juce::AccessibilityHandler> ScreenText::createAccessibilityHandler()
{
    return std::make_unique<ScreenTextHandler> (*this);
}

//==============================================================================
namespace FocusRing
{
    namespace
    {
        bool shown = false;
    }


    bool isShown()
    {
        return shown;
    }

    void draw (juce::Graphics& g, juce::Rectangle<int> area)
    {
        g.setColour (colour);
        g.drawRoundedRectangle (area.toFloat().reduced ((float) thickness * 0.5f), (float) (gap + thickness) + 2.0f, (float) thickness);
    }

    bool enter (juce::Component& container, const juce::KeyPress& key)
    {
        if (key.getKeyCode() != juce::KeyPress::tabKey || ! container.hasKeyboardFocus (false))
            return false;

        const auto controls = container.createKeyboardFocusTraverser()->getAllComponents (&container);
        if (! controls.empty())
            (key.getModifiers().isShiftDown() ? controls.back() : controls.front())->grabKeyboardFocus();

        return true;
    }

    void focusOnShow (juce::Component& container)
    {
        if (! container.isShowing())
            return;

        const auto controls = container.createKeyboardFocusTraverser()->getAllComponents (&container);

        if (shown && ! controls.empty())
            controls.front()->grabKeyboardFocus();
        else
            container.grabKeyboardFocus();
    }

    void setShown (bool shouldShow)
    {
        if (std::exchange (shown, shouldShow) == shouldShow)
            return;

        // The ring is drawn just outside the focused control, by its own
        // component or by the panel round it: its window is painted again.
        if (auto* focused = juce::Component::getCurrentlyFocusedComponent())
            focused->getTopLevelComponent()->repaint();
    }

    Watcher::Watcher (juce::Component& c) : top (c)
    {
        top.addKeyListener (this);
        top.addMouseListener (this, true);
    }

    Watcher::~Watcher()
    {
        top.removeKeyListener (this);
        top.removeMouseListener (this);
    }

    bool Watcher::keyPressed (const juce::KeyPress&, juce::Component*)
    {
        setShown (true);
        return false;
    }

    void Watcher::mouseDown (const juce::MouseEvent&)
    {
        setShown (false);
    }
}
