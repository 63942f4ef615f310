#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>

/** Defined by a test that needs a second copy of the program: returns its exit
    code when this process was started as that copy, otherwise -1. */
int runPausedInstallIfAsked();

int main (int argc, char** argv)
{
    // Without an application object JUCE would create none anyway, but windows
    // opened by tests under Xvfb need this to avoid a BadAtom crash.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI gui;

    if (const auto code = runPausedInstallIfAsked(); code >= 0)
        return code;

    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
