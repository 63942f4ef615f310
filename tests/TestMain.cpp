#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>

int main (int argc, char** argv)
{
    // Without an application object JUCE would create none anyway, but windows
    // opened by tests under Xvfb need this to avoid a BadAtom crash.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI gui;

    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
