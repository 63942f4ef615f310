#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include "Palette.h"

/** The looks of the invisible buttons, read from each button's own state: it
    follows the pointer (over) and a held mouse button (down), and a hidden
    button is neither. */
namespace ButtonFace
{
    inline bool isPressed (const juce::Button& b)  { return b.isVisible() && b.getState() == juce::Button::buttonDown; }
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
