#pragma once

#include <juce_core/juce_core.h>

/** What stands in for a web or mail link that could not be handed to the
    signed-in user's browser or mail program: the address, in words a person
    can act on. "Open https://... in your browser", "Write to someone@...". */
juce::String linkInWords (const juce::URL&);
