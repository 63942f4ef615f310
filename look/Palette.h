#pragma once

#include <juce_graphics/juce_graphics.h>

/** The house colours. Everything that paints uses these names; translucent
    steps are made from them with Colour::withAlpha. */
namespace Palette
{
    inline const juce::Colour nearBlack { 0xff111111 };
    inline const juce::Colour charcoal  { 0xff171717 };
    inline const juce::Colour offWhite  { 0xfff5f5f5 };
    inline const juce::Colour warmGrey  { 0xffaaa6a6 };
    inline const juce::Colour green     { 0xff86cf7a };
    inline const juce::Colour blue      { 0xff0094d8 };
    inline const juce::Colour yellow    { 0xffd3c55f };
    inline const juce::Colour orange    { 0xffe08a2a };
    inline const juce::Colour slate     { 0xff393e44 };
    inline const juce::Colour ink       { 0xff101316 };
    inline const juce::Colour gunmetal  { 0xff21272c };
}
