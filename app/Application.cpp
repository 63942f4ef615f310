#include "Application.h"
#include "../ui/MainComponent.h"
#include "../platform/MessageWindowGuard.h"
#include "../platform/TrustedFiles.h"
#include "../platform/WineRepaintPump.h"
#include <Identity.h>

const juce::String tsr_installerApplication::getApplicationName()    { return identity::applicationName; }
const juce::String tsr_installerApplication::getApplicationVersion() { return identity::applicationVersion; }
bool tsr_installerApplication::moreThanOneInstanceAllowed()          { return true; }

void tsr_installerApplication::initialise (const juce::String&)
{
    platform::enableRedirectionGuard();
    platform::keepMessageWindowOnClose();
    mainWindow = std::make_unique<MainWindow> (getApplicationName());
    wineRepaintPump = platform::makeWineRepaintPump();
}

void tsr_installerApplication::shutdown()
{
    wineRepaintPump = nullptr;
    mainWindow = nullptr;
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
}

void tsr_installerApplication::MainWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
