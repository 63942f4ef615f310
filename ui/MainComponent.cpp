// MainComponent's construction, layout and queries; its painting, hints and
// actions are in the files of those names.

#include "MainComponent.h"
#include "../look/Palette.h"
#include "../install/Recovery.h"
#include "../install/SettingsFile.h"
#include "../panels/panel_changelog.h"
#include "../panels/panel_eula.h"
#include "../panels/panel_settings.h"
#include "../panels/panel_support.h"
#include "../platform/Platform.h"
#include <algorithm>
#include <BinaryData.h>
#include <Identity.h>

namespace
{
    /** What the header adds after the product version: this is the Windows installer. */
    constexpr const char* platformSuffixText = " for Windows";
}

static std::unique_ptr<juce::Drawable> drawableFrom (const char* data, int size, bool blackToCharcoal)
{
    auto drawable = juce::Drawable::createFromImageData (data, (size_t) size);

    if (drawable != nullptr && blackToCharcoal)
        drawable->replaceColour (juce::Colours::black, Palette::charcoal);

    return drawable;
}

MainComponent::MainComponent()
{
    juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);

    layoutUnit = 9.0f;
    shiftHeld = false;
    installFinished = false;

    formatIcons[vst3Format] = drawableFrom (BinaryData::icon_vst3_svg, BinaryData::icon_vst3_svgSize, true);
    formatIcons[vst2Format] = drawableFrom (BinaryData::icon_vst3_svg, BinaryData::icon_vst3_svgSize, true);
    formatIcons[clapFormat] = drawableFrom (BinaryData::icon_clap_svg, BinaryData::icon_clap_svgSize, true);
    formatIcons[aaxFormat]  = drawableFrom (BinaryData::icon_aax_svg, BinaryData::icon_aax_svgSize, true);
    installIcon = drawableFrom (BinaryData::icon_install_svg, BinaryData::icon_install_svgSize, true);
    logo = drawableFrom (BinaryData::logo_tessarine_svg, BinaryData::logo_tessarine_svgSize, false);

    platformSuffix = platformSuffixText;
    productName = productDisplayName (identity::productNameLiteral);
    productVersion = identity::productVersion;
    websiteUrl = juce::URL (productPageUrl);
    manualUrl = juce::URL (productPageUrl);

    loadSettings();

    // A run that was cut short (process killed, power lost) is put right before
    // anything is shown, so the screen tells the truth. A folder another copy
    // of the program is working in is left to that copy.
    for (int format = 0; format < numFormats; ++format)
        recoverInstallFolder (installFolders[(size_t) format], productName, format, platform::systemFileSystem(), 0);

    // Formats already on this machine start selected, so one click on INSTALL
    // updates exactly what the user has; a newer copy than the one carried is
    // never replaced by that click, only when the user selects it.
    for (size_t i = 0; i < selected.size(); ++i)
    {
        const auto found = detectInstallState ((int) i);
        selected[i] = found.state != InstallState::NotInstalled && ! isNewerThanCarried (found, productVersion);
    }

    // Tab follows the table: tiles, SELECT ALL, INSTALL, then the links.
    for (auto& control : controlTable())
    {
        controls.push_back (std::make_unique<ScreenButton> (std::move (control), *this));
        addAndMakeVisible (*controls.back());
        controls.back()->setExplicitFocusOrder ((int) controls.size());
    }

    const auto named = [this] (const juce::String& name)
    {
        const auto found = std::find_if (controls.begin(), controls.end(), [&] (const auto& b) { return b->getName() == name; });
        jassert (found != controls.end());
        return found->get();
    };

    for (size_t i = 0; i < extraButtons.size(); ++i)
        extraButtons[i] = named (extraNames[i]);

    for (size_t i = 0; i < formatButtons.size(); ++i)
        formatButtons[i] = named (formatNames[i]);

    installButton = named ("INSTALL");
    selectAllButton = named ("SELECT_ALL");

    productText = std::make_unique<ScreenText> ([this] { return productName + ", version " + productVersion + platformSuffix; });
    managerText = std::make_unique<ScreenText> ([] { return juce::String ("Plugin manager v") + identity::applicationVersion; });
    runStatusText = std::make_unique<ScreenText> ([this] { return runText(); });
    runStatusText->setExplicitFocusOrder (1);
    runStatusText->setHasFocusOutline (true);

    for (auto* text : { productText.get(), managerText.get(), runStatusText.get() })
        addChildComponent (*text);

    hintLabel = std::make_unique<juce::Label>();
    addAndMakeVisible (*hintLabel);
    hintLabel->setJustificationType (juce::Justification::centred);
    hintLabel->setColour (juce::Label::textColourId, Palette::warmGrey.withAlpha (0.5f));
    hintLabel->setText (identity::applicationVersion, juce::dontSendNotification);

    setTitle (productName + " plugin manager");

    // The screen itself takes the focus, so that no control holds it unseen
    // (a text field would hide its greyed folder): the first Tab goes to the
    // first control.
    setWantsKeyboardFocus (true);
    setFocusContainerType (FocusContainerType::keyboardFocusContainer);
    updateControlVisibility();
    focusRingWatcher = std::make_unique<FocusRing::Watcher> (*this);
    setSize (600, 600);
}

MainComponent::~MainComponent()
{
    // Focus leaves while every member is whole: a focused button deleted
    // among the members would pass focus on to a sibling, whose hint then
    // reaches for a hint line already gone.
    if (hasKeyboardFocus (true))
        giveAwayKeyboardFocus();

    // Another program of the maker may leave this script behind. The folder
    // may be shared by every user: only a plain file of this user's is ours.
    if (const auto temp = platform::temporaryFolder(); temp != juce::File())
    {
        const auto script = temp.getChildFile ("script.sh");

        if (platform::isOwnRegularFile (script))
            script.deleteFile();
    }

    // The look-and-feel stays the default until it goes, last of the members;
    // the framework then falls back to its own. Resetting the default here
    // would make the closing window rebuild its native peer during shutdown.
}

void MainComponent::loadSettings()
{
    auto settings = SettingsFile::loadMachineSettings();
    settingsFolder = settings.folder;
    installFolders = settings.installFolders;
    settingsDistrust = settings.distrust;
}

//==============================================================================
void MainComponent::resized()
{
    const auto u = (float) getWidth() * 0.01f;
    layoutUnit = u;

    // Bounds are multiples of u, each computed in single precision and rounded
    // to the nearest pixel (ties to even).
    const auto place = [] (juce::Component& c, float x, float y, float w, float h)
    {
        c.setBounds (juce::roundToInt (x), juce::roundToInt (y), juce::roundToInt (w), juce::roundToInt (h));
    };

    for (size_t i = 0; i < extraButtons.size(); ++i)
    {
        const auto column = (float) (i / 2), row = (float) (i % 2);
        place (*extraButtons[i], column * (17.0f * u) + 4.0f * u, row * (5.0f * u) + 74.0f * u, 16.0f * u, 4.0f * u);
    }

    place (*installButton,             86.0f * u, 73.5f * u, 10.0f * u, 10.0f * u);
    place (*selectAllButton,           77.0f * u, 22.0f * u, 19.0f * u,  5.0f * u);
    place (*formatButtons[vst3Format],  4.0f * u, 30.0f * u, 45.0f * u, 10.0f * u);
    place (*formatButtons[clapFormat], 51.0f * u, 30.0f * u, 45.0f * u, 10.0f * u);
    place (*formatButtons[aaxFormat],   4.0f * u, 42.0f * u, 45.0f * u, 10.0f * u);
    place (*formatButtons[vst2Format], 51.0f * u, 42.0f * u, 45.0f * u, 10.0f * u);
    place (*hintLabel,                  4.0f * u, 90.0f * u, 92.0f * u,  3.0f * u);
    place (*productText,                4.0f * u,  8.0f * u, 92.0f * u, 12.0f * u);
    place (*managerText,               75.0f * u,  1.0f * u, 21.0f * u,  6.0f * u);
    const auto area = runArea();
    place (*runStatusText, area.getX(), area.getY(), area.getWidth(), area.getHeight());

    hintLabel->setFont (juce::Font (lookAndFeel.regularTypeface).withHeight (3.0f * u));

    refitPanels();
}

void MainComponent::fitPanel (OverlayPanel& panel)
{
    panel.unit = layoutUnit;
    panel.setBounds (getBounds());
    panel.setAlwaysOnTop (true);
}

std::array<OverlayPanel*, 4> MainComponent::heldPanels() const
{
    return { eulaPanel.get(), supportPanel.get(), settingsPanel.get(), changelogPanel.get() };
}

OverlayPanel* MainComponent::openPanelShown() const
{
    for (auto* panel : heldPanels())
        if (panel != nullptr && panel->getParentComponent() == this)
            return panel;

    return nullptr;
}

void MainComponent::updateControlVisibility()
{
    // Under a panel nothing of the main screen can be reached, by Tab or by
    // a screen reader: hidden, it is out of both.
    const bool underPanel = openPanelShown() != nullptr;
    const bool running = run != nullptr;

    runStatusText->setWantsKeyboardFocus (running);
    runStatusText->setVisible (running && ! underPanel);
    productText->setVisible (! underPanel);
    managerText->setVisible (! underPanel);
    hintLabel->setVisible (! underPanel);

    for (auto& button : controls)
        button->setVisible (! underPanel && ! (running && startsRuns (button.get())));
}

bool MainComponent::startsRuns (const juce::Component* c) const
{
    return c == installButton || c == selectAllButton
        || std::find (formatButtons.begin(), formatButtons.end(), c) != formatButtons.end();
}

void MainComponent::refitPanels()
{
    for (auto* panel : heldPanels())
        if (panel != nullptr)
            fitPanel (*panel);
}

juce::File MainComponent::pluginItemFor (int format) const
{
    return ::pluginItemFor (installFolders[(size_t) format], productName, format);
}

bool MainComponent::isPluginItemPresent (int format) const
{
    return ::isPluginItemPresent (pluginItemFor (format));
}

DetectedInstall MainComponent::detectInstallState (int format) const
{
    return ::detectInstallState (installFolders[(size_t) format], productName, productVersion, format);
}
