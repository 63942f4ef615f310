#pragma once

#include "OverlayPanel.h"
#include "../platform/UserShell.h"
#include <functional>

/** Two ways to get help (the community server and a pre-filled support e-mail)
    and a few words about the installer itself. */
class panel_support : public OverlayPanel
{
public:
    panel_support (const juce::String& productName, const juce::String& productVersion);
    ~panel_support() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    const juce::String productName;
    const juce::String productVersion;

    /** Hands web and mail links to the signed-in user's browser and mail
        program; false when that cannot be done, and the panel then gives the
        address instead, on its last line. */
    std::function<bool (const juce::URL&)> openUrl = platform::openAsUser;

private:
    void openLink (const juce::URL&);
    void paintIconButton (juce::Graphics&, const juce::Button&, juce::Drawable&);

    std::unique_ptr<juce::Drawable> discordIcon, mailIcon;
    ScreenText& aboutText;
    juce::String unopenedLink;      /**< the address of a link that could not be opened, in words */
    ScreenText& unopenedLinkText;
    std::unique_ptr<ScreenButton> discordButton, mailButton;
};

/** The support e-mail as a "mailto:" address: subject and body filled in with
    the product, operating system, device and processor. */
juce::String supportMailAddress (const juce::String& productName, const juce::String& productVersion,
                                 const juce::String& operatingSystem, const juce::String& device, const juce::String& cpu);

namespace SupportContacts
{
    inline constexpr const char* discordInviteUrl = "https://discord.example/invite/tessarine";
    inline constexpr const char* supportAddress   = "support@tessarine.example";
}
