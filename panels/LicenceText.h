#pragma once

#include <juce_core/juce_core.h>

/** The product's licence agreement, shown by the licence panel. */
extern const juce::String licenceText;
