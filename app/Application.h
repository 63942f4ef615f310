#pragma once

#include <juce_gui_basics/juce_gui_basics.h>
#include "Deployment.h"

class MainComponent;

/** The installer's process: one main window for the whole run, or none when
    the command line asks for an unattended install (see CommandLine.h).
    Any number of copies may run side by side. */
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
    /** The window's part of the command line: its folders, its log, and with
        /SILENT the run itself, closing the window when it is done. */
    void startFromCommandLine (const CommandLine&);

    MainComponent* mainComponent() const;

    std::unique_ptr<Deployment::RunLog> log;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<juce::Timer> wineRepaintPump;
};
