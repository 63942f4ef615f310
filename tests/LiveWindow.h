#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** What the tests of a component on the desktop share (Xvfb on Linux, Wine's
    own desktop on Windows): delivering the messages it posted, and a mouse
    that reaches it the way the system's does, through its window's peer, so
    that its buttons know they are hovered or held as they would be. */

/** Delivers what the window and the framework posted meanwhile: async
    clicks, focus callbacks, repaints. */
void pump (int milliseconds = 30);

class SystemMouse
{
public:
    /** The component must be on the desktop. */
    explicit SystemMouse (juce::Component& onDesktop);
    ~SystemMouse();

    /** Moves to a point of any component inside, its centre by default. */
    void moveTo (juce::Component&, std::optional<juce::Point<int>> local = {});
    void moveTo (juce::Point<int> inTop);

    void press();
    void release();

    /** Pressed and let go where the pointer is. */
    void click()  { press(); release(); }

private:
    void send();

    juce::Component& top;
    juce::Point<float> at { -10.0f, -10.0f };
    juce::ModifierKeys buttons;
};
