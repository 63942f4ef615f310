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
    for (size_t i = 0; i < selected.size(); ++i)
    {
        if (! selected[i])
            continue;

        const auto format = (int) i;
        installOutcomes[i] = shiftHeld ? uninstallFormat (installFolders[i], productName, format)
                                       : installFormat (installFolders[i], productName, format, archiveFor (format));
        selected[i] = false;
    }

    installFinished = true;

    for (auto& b : formatButtons)
        b->setVisible (false);

    selectAllButton->setVisible (false);
    installButton->setVisible (false);
    repaint();
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

