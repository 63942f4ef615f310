#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The installer's process: one main window for the whole run. The command
    line is ignored and any number of copies may run side by side. */
class tsr_installerApplication : public juce::JUCEApplication
{
public:
    tsr_installerApplication() = default;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;

    /** The square, resizable window whose content is the main component. */
    class MainWindow : public juce::DocumentWindow
    {
    public:
        explicit MainWindow (const juce::String& name);
        void closeButtonPressed() override;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<juce::Timer> wineRepaintPump;
};
