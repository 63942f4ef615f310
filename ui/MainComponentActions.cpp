// MainComponent's actions: what each click does, the install run, and the
// opening of the overlay panels.

#include "MainComponent.h"
#include "../install/SettingsFile.h"
#include "../panels/LicenceText.h"
#include "../panels/panel_changelog.h"
#include "../panels/panel_eula.h"
#include "../panels/panel_settings.h"
#include "../panels/panel_support.h"
#include <BinaryData.h>

template <typename Panel>
void MainComponent::openPanel (std::unique_ptr<Panel>& member, std::unique_ptr<Panel> panel)
{
    member = std::move (panel);
    addAndMakeVisible (*member);
    fitPanel (*member);
}

void MainComponent::buttonClicked (juce::Button* button)
{
    // While a run works, the screen only shows it; hints still follow the pointer.
    if (isRunning())
        return;

    const auto name = button->getName();

    if (name == "EULA")
    {
        openPanel (eulaPanel, std::make_unique<panel_eula> (licenceText));
    }
    else if (name == "SUPPORT")
    {
        openPanel (supportPanel, std::make_unique<panel_support> (productName, productVersion));
    }
    else if (name == "SETTINGS")
    {
        openPanel (settingsPanel, std::make_unique<panel_settings> (
                       SettingsFile::settingsFileIn (settingsFolder), installFolders,
                       [this] (const juce::String& attribute, const juce::String& path) { setInstallFolder (attribute, path); }));
    }
    else if (name == "CHANGES")
    {
        const auto notes = juce::String::createStringFromData (BinaryData::CHANGELOG_md, BinaryData::CHANGELOG_mdSize);
        openPanel (changelogPanel, std::make_unique<panel_changelog> (notes, productName));
    }
    else if (name == "WEBSITE")
    {
        openUrl (websiteUrl);
    }
    else if (name == "MANUAL")
    {
        openUrl (manualUrl);
    }
    else if (name == "INSTALL")
    {
        // Shift as last reported decides, not the modifiers of the click itself.
        installSelected();
    }
    else if (name == "SELECT_ALL")
    {
        selected.fill (true);
        repaint();
    }
    else
    {
        for (size_t i = 0; i < formatNames.size(); ++i)
        {
            if (name == formatNames[i])
            {
                selected[i] = ! selected[i];
                repaint();
            }
        }
    }
}

void MainComponent::installSelected()
{
    // A newer copy is replaced only when chosen on purpose: one that was
    // present at start is never preselected.
    startRun (selected, shiftHeld, true);
}

void MainComponent::startRun (const std::array<bool, numFormats>& formats, bool uninstall, bool replaceNewer)
{
    if (run != nullptr)
        return;

    if (std::none_of (formats.begin(), formats.end(), [] (bool b) { return b; }))
    {
        hintLabel->setText (uninstall ? "Select a format to uninstall first" : "Select a format to install first",
                            juce::dontSendNotification);
        return;
    }

    selected = formats;

    InstallRun::Request request;
    request.formats = formats;
    request.folders = installFolders;
    request.productName = productName;
    request.productVersion = productVersion;
    request.uninstall = uninstall;
    request.replaceNewer = replaceNewer;

    run = std::make_unique<InstallRun> (request, *runFileSystem);
    shownStatus = {};

    for (auto& b : formatButtons)
        b->setVisible (false);

    selectAllButton->setVisible (false);
    installButton->setVisible (false);

    if (onRunStarting)
        onRunStarting (*run);

    run->start();
    startTimerHz (30);
    repaint();
}

void MainComponent::timerCallback()
{
    showRunProgress();
}

void MainComponent::showRunProgress()
{
    if (run == nullptr || installFinished)
        return;

    const auto status = run->status();

    // Repainted only when what is shown changes: a percent, a phase, a file.
    const auto percent = [] (const InstallRun::Status& s) { return (int) (s.fractionWritten() * 100.0); };
    const bool changed = status.format != shownStatus.format || status.progress.phase != shownStatus.progress.phase
                          || percent (status) != percent (shownStatus) || status.progress.waitingFor != shownStatus.progress.waitingFor
                          || status.finished != shownStatus.finished;
    shownStatus = status;

    if (status.finished)
        finishRun();
    else if (changed)
        repaint (runArea().getSmallestIntegerContainer());
}

void MainComponent::waitForInstallRun()
{
    if (run == nullptr || installFinished)
        return;

    run->waitUntilFinished();
    shownStatus = run->status();
    finishRun();
}

void MainComponent::finishRun()
{
    stopTimer();
    installOutcomes = shownStatus.outcomes;

    for (size_t i = 0; i < selected.size(); ++i)
        if (installOutcomes[i].processed)
            selected[i] = false;

    installFinished = true;
    hintLabel->setText (runSummary(), juce::dontSendNotification);
    repaint();

    if (onRunFinished)
        onRunFinished (installOutcomes);
}

bool MainComponent::didInstallSucceed() const
{
    return std::all_of (installOutcomes.begin(), installOutcomes.end(),
                        [] (const FormatOutcome& o) { return o.succeeded; });
}

//==============================================================================
void MainComponent::setInstallFolder (const juce::String& attributeName, const juce::String& folderPath)
{
    for (size_t i = 0; i < settingsAttributes.size(); ++i)
        if (attributeName == settingsAttributes[i])
            installFolders[i] = SettingsFile::installFolderFromSetting (folderPath);

    repaint();
}

