// MainComponent's actions: what each click does, the install run, and the
// opening of the overlay panels.

#include "MainComponent.h"
#include "../install/SettingsFile.h"
#include "../panels/LicenceText.h"
#include "../panels/LinkOpening.h"
#include "../panels/panel_changelog.h"
#include "../panels/panel_eula.h"
#include "../panels/panel_settings.h"
#include "../panels/panel_support.h"
#include <BinaryData.h>

template <typename Panel>
void MainComponent::openPanel (std::unique_ptr<Panel>& member, std::unique_ptr<Panel> panel, const juce::String& opener)
{
    member = std::move (panel);
    member->onClose = [this] { panelClosed(); };
    panelOpener = nullptr;

    for (auto& button : controls)
        if (button->getName() == opener)
            panelOpener = button.get();

    addAndMakeVisible (*member);
    fitPanel (*member);

    // Focus goes into the panel first, so that hiding the screen beneath
    // does not walk it through every control there: to its first control
    // when the keyboard opened it, else to the panel itself.
    FocusRing::focusOnShow (*member);
    updateControlVisibility();
}

void MainComponent::panelClosed()
{
    updateControlVisibility();

    // Keys go back to the link that opened the panel; after a click, the
    // screen itself holds the focus, as at the start.
    if (FocusRing::isShown() && panelOpener != nullptr && panelOpener->isShowing())
        panelOpener->grabKeyboardFocus();
    else if (isShowing())
        grabKeyboardFocus();
}

void MainComponent::openLink (const juce::URL& url)
{
    if (openUrl (url))
        return;

    const auto words = linkInWords (url);
    hintLabel->setText (words, juce::dontSendNotification);
    announce (words);
}

void MainComponent::buttonClicked (juce::Button* button)
{
    // While a run works, the screen only shows it; hints still follow the pointer.
    if (isRunning())
        return;

    if (auto* b = dynamic_cast<ScreenButton*> (button); b != nullptr && b->control.action)
        b->control.action();
}

std::vector<ScreenControl> MainComponent::controlTable()
{
    const auto says = ScreenControl::says;
    std::vector<ScreenControl> table;

    // The tiles in reading order: the top row, then the bottom one.
    for (auto format : { vst3Format, clapFormat, aaxFormat, vst2Format })
    {
        const auto i = (size_t) format;
        table.push_back ({ formatNames[i], says (formatNames[i]), [this, format] { return tileHint (format); },
                           [this, i] { selected[i] = ! selected[i]; repaint(); },
                           [this, format] { return installStateText (detectInstallState (format)); },
                           [this, i] { return selected[i]; } });
    }

    table.push_back ({ "SELECT_ALL", says ("Select all formats"), says (""),
                       [this] { selected.fill (true); repaint(); announce ("All four formats selected"); } });

    // Shift as last reported decides, not the modifiers of the click itself.
    table.push_back ({ "INSTALL", [this] { return juce::String (shiftHeld ? "Uninstall selected formats" : "Install selected formats"); },
                       says ("Click to install selected. Shift-click to uninstall selected"),
                       [this] { installSelected(); },
                       [this]
                       {
                           juce::StringArray names;
                           for (size_t i = 0; i < selected.size(); ++i)
                               if (selected[i])
                                   names.add (formatNames[i]);
                           return (names.isEmpty() ? juce::String ("Nothing selected") : "Selected: " + names.joinIntoString (", "))
                                   + ". Shift+Return uninstalls instead";
                       } });

    // The links, row by row as they are laid out.
    table.push_back ({ "EULA", says ("License agreement"), says ("Click to read End-User License Agreement"),
                       [this] { openPanel (eulaPanel, std::make_unique<panel_eula> (licenceText), "EULA"); } });
    table.push_back ({ "WEBSITE", says ("Product page on the Tessarine website, in your web browser"),
                       says ("Click to open product page on the Tessarine website"), [this] { openLink (websiteUrl); } });
    table.push_back ({ "SETTINGS", says ("Settings: the install folder of each format"), says ("Click to set the install folder for each format"),
                       [this]
                       {
                           openPanel (settingsPanel, std::make_unique<panel_settings> (
                                          SettingsFile::settingsFileIn (settingsFolder), installFolders,
                                          [this] (const juce::String& attribute, const juce::String& path) { setInstallFolder (attribute, path); }),
                                      "SETTINGS");
                       } });
    table.push_back ({ "MANUAL", says ("Product manual, in your web browser"), says ("Click to open product manual in your web browser"),
                       [this] { openLink (manualUrl); } });
    table.push_back ({ "SUPPORT", says ("Support by e-mail and Discord"), says ("Email and Discord support"),
                       [this] { openPanel (supportPanel, std::make_unique<panel_support> (productName, productVersion), "SUPPORT"); } });
    table.push_back ({ "CHANGES", says ("Release notes"), says ("Click to view release notes"),
                       [this]
                       {
                           const auto notes = juce::String::createStringFromData (BinaryData::CHANGELOG_md, BinaryData::CHANGELOG_mdSize);
                           openPanel (changelogPanel, std::make_unique<panel_changelog> (notes, productName), "CHANGES");
                       } });
    return table;
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
        const juce::String hint (uninstall ? "Select a format to uninstall first" : "Select a format to install first");
        hintLabel->setText (hint, juce::dontSendNotification);
        announce (hint);
        return;
    }

    selected = formats;

    const auto request = InstallRun::Request::ofCarriedProduct (formats, installFolders, uninstall, replaceNewer, registration);
    run = std::make_unique<InstallRun> (request, observeRun ? observeRun (request) : InstallRun::Observer(), *runFileSystem);
    shownStatus = {};
    waitAnnounced = false;

    // The controls that start runs go; focus on one of them moves to the
    // run's own text, which says how it goes.
    const bool focusLeaves = std::any_of (controls.begin(), controls.end(), [this] (const auto& b)
                                          { return b->hasKeyboardFocus (false) && startsRuns (b.get()); });
    updateControlVisibility();

    if (focusLeaves && runStatusText->isShowing())
        runStatusText->grabKeyboardFocus();

    announce (startAnnouncement());

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

    if (status.progress.phase == Phase::waiting && ! status.finished && ! std::exchange (waitAnnounced, true))
        announce ("Waiting for a file in use: " + status.progress.waitingFor);

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
    announce (finishAnnouncement());

    if (onRunFinished)
        onRunFinished (*run);
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

