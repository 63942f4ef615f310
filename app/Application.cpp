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

    if (options.asksForWork())
        startFromCommandLine (options);
}

void tsr_installerApplication::startFromCommandLine (const CommandLine& options)
{
    auto* main = dynamic_cast<MainComponent*> (mainWindow->getContentComponent());
    if (main == nullptr)
        return;

    log->distrustedSettings (main->getSettingsDistrust());
    auto folders = main->getInstallFolders();
    Deployment::keepChosenFolders (options, main->getSettingsFolder(), folders, *log);

    for (size_t i = 0; i < folders.size(); ++i)
        if (options.folders[i].isNotEmpty())
            main->setInstallFolder (settingsAttributes[i], options.folders[i]);

    main->onRunStarting = [this] (InstallRun& run) { log->follow (run); };

    if (options.mode != CommandLine::Mode::silent)
        return;

    // Shown for a moment, then gone with the run's code, as a tool expects.
    main->onRunFinished = [this] (const InstallOutcomes& outcomes)
    {
        const auto code = Deployment::exitCodeFor (outcomes);
        log->finish (code);
        setApplicationReturnValue ((int) code);
        juce::Timer::callAfterDelay (3000, [] { juce::JUCEApplication::quit(); });
    };

    main->startRun (options.formats, options.uninstall, options.force);
}

void tsr_installerApplication::shutdown()
{
    wineRepaintPump = nullptr;
    mainWindow = nullptr;       // waits for a run still going
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

    // Keys and a screen reader start on the first control, and come back to
    // it when the system gives the window focus: the window itself would
    // take focus otherwise, and Tab from there reaches nothing. No ring shows
    // until a key is used.
    setWantsKeyboardFocus (false);
    getContentComponent()->grabKeyboardFocus();
}

void tsr_installerApplication::MainWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
