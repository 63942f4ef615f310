#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include "Palette.h"

/** The looks of the invisible buttons: pressed while a mouse button pressed
    on it is held, even when dragged off it (the mouse's own state, which the
    button's state is not: it turns idle as the pointer leaves); hovered while
    the pointer is over it, as the button's state follows it. A hidden button
    is neither. */
namespace ButtonFace
{
    inline bool isPressed (const juce::Button& b)  { return b.isVisible() && b.isMouseButtonDown(); }
    inline bool isHovered (const juce::Button& b)  { return b.isVisible() && b.getState() != juce::Button::buttonNormal; }

    /** The face of a clickable box: green while pressed, warmGrey at 0.75 while
        hovered, warmGrey at 0.5 otherwise. */
    inline juce::Colour colour (const juce::Button& b)
    {
        if (isPressed (b))
            return Palette::green;

        return Palette::warmGrey.withAlpha (isHovered (b) ? 0.75f : 0.5f);
    }
}
