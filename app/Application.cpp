#include "Application.h"
#include "../ui/MainComponent.h"
#include "../platform/MessageWindowGuard.h"
#include "../platform/TrustedFiles.h"
#include "../platform/Platform.h"
#include "../platform/WineRepaintPump.h"
#include <Identity.h>

const juce::String tsr_installerApplication::getApplicationName()    { return identity::applicationName; }
const juce::String tsr_installerApplication::getApplicationVersion() { return identity::applicationVersion; }
bool tsr_installerApplication::moreThanOneInstanceAllowed()          { return true; }

void tsr_installerApplication::initialise (const juce::String&)
{
    platform::enableRedirectionGuard();
    const auto options = parseCommandLine (getCommandLineParameterArray());

    if (options.error.isNotEmpty())
    {
        setApplicationReturnValue ((int) Deployment::refuse (options));
        quit();
        return;
    }

    if (options.mode == CommandLine::Mode::help)
    {
        // No console (started from the desktop or a shortcut): a window says it.
        if (platform::printToConsole (commandLineUsage(), false))
            quit();
        else
            juce::AlertWindow::showAsync (juce::MessageBoxOptions().withIconType (juce::MessageBoxIconType::InfoIcon)
                                              .withTitle (getApplicationName()).withMessage (commandLineUsage()).withButton ("OK"),
                                          [] (int) { juce::JUCEApplication::quit(); });
        return;
    }

    // The log comes first: a run that cannot keep the log asked for touches nothing.
    log = std::make_unique<Deployment::RunLog> (options);

    if (log->getProblem().isNotEmpty())
    {
        setApplicationReturnValue ((int) Deployment::refuse (*log));
        quit();
        return;
    }

    if (options.mode == CommandLine::Mode::verySilent)
    {
        setApplicationReturnValue ((int) Deployment::runWithoutWindow (options, *log));
        quit();
        return;
    }

    platform::keepMessageWindowOnClose();
    mainWindow = std::make_unique<MainWindow> (getApplicationName());
    wineRepaintPump = platform::makeWineRepaintPump();
    mainComponent()->registration = Deployment::thisProduct();

    if (options.asksForWork())
        startFromCommandLine (options);
}

void tsr_installerApplication::startFromCommandLine (const CommandLine& options)
{
    auto* main = mainComponent();
    if (main == nullptr)
        return;

    log->distrustedSettings (main->getSettingsDistrust());

    // The folders chosen are used, and kept once a run has installed there.
    for (size_t i = 0; i < options.folders.size(); ++i)
        if (options.folders[i].isNotEmpty())
            main->setInstallFolder (settingsAttributes[i], options.folders[i]);

    main->observeRun = [this] (const InstallRun::Request& request) { return log->observe (request); };

    main->onRunFinished = [this, options, main] (const InstallRun& run)
    {
        Deployment::keepChosenFolders (options, main->getSettingsFolder(), run, *log);
        const auto code = Deployment::exitCodeFor (run.status().outcomes, run.getRequest().formats);
        log->finish (code);

        // Shown for a moment, then gone with the run's code, as a tool expects.
        if (options.mode == CommandLine::Mode::silent)
        {
            setApplicationReturnValue ((int) code);
            juce::Timer::callAfterDelay (3000, [] { juce::JUCEApplication::quit(); });
        }
    };

    if (options.mode == CommandLine::Mode::silent)
        main->startRun (options.formats, options.uninstall, options.force);
}

MainComponent* tsr_installerApplication::mainComponent() const
{
    return mainWindow != nullptr ? dynamic_cast<MainComponent*> (mainWindow->getContentComponent()) : nullptr;
}

void tsr_installerApplication::shutdown()
{
    // Closing mid-run stops after the current format; the run then ends as
    // it would have, and its code says the user cancelled what was left.
    if (auto* main = mainComponent(); main != nullptr && main->isRunning())
    {
        main->stopRun();
        main->waitForInstallRun();

        const auto& status = main->getShownRunStatus();
        if (Deployment::exitCodeFor (status.outcomes, main->getRunRequest().formats) == ExitCode::cancelled)
            setApplicationReturnValue ((int) ExitCode::cancelled);
    }

    wineRepaintPump = nullptr;
    mainWindow = nullptr;
    log = nullptr;
}

void tsr_installerApplication::anotherInstanceStarted (const juce::String&)
{
}

void tsr_installerApplication::systemRequestedQuit()
{
    quit();
}

//==============================================================================
tsr_installerApplication::MainWindow::MainWindow (const juce::String& name)
    : DocumentWindow (name,
                      juce::Desktop::getInstance().getDefaultLookAndFeel()
                          .findColour (juce::ResizableWindow::backgroundColourId),
                      DocumentWindow::allButtons)
{
    setUsingNativeTitleBar (true);
    setContentOwned (new MainComponent(), true);
    setResizable (true, true);
    getConstrainer()->setFixedAspectRatio (1.0);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);

    // Keys start on the main screen itself, and come back to it when the
    // system gives the window focus: the window would take focus otherwise,
    // and Tab from there reaches nothing. The first Tab reaches the first
    // control; no control holds focus unseen before that.
    setWantsKeyboardFocus (false);
    getContentComponent()->grabKeyboardFocus();
}

void tsr_installerApplication::MainWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
