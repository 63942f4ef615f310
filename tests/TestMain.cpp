#include <juce_gui_basics/juce_gui_basics.h>
#include <gtest/gtest.h>

/** Defined by tests that start this test program again as a second process (a
    second copy of the installer, another user): each returns its exit code
    when this process was started for it, otherwise -1. */
int runPausedInstallIfAsked();
int runUnprivilegedRunIfAsked();

int main (int argc, char** argv)
{
    // Without an application object JUCE would create none anyway, but windows
    // opened by tests under Xvfb need this to avoid a BadAtom crash.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI gui;

    for (auto* role : { runPausedInstallIfAsked, runUnprivilegedRunIfAsked })
        if (const auto code = role(); code >= 0)
            return code;

    ::testing::InitGoogleTest (&argc, argv);
    return RUN_ALL_TESTS();
}
