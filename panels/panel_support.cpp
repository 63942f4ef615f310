#include "panel_support.h"
#include <Identity.h>
#include "../install/FormatCatalogue.h"
#include "LinkOpening.h"
#include "../look/ButtonFace.h"
#include <BinaryData.h>

juce::String supportMailAddress (const juce::String& productName, const juce::String& productVersion,
                                 const juce::String& operatingSystem, const juce::String& device, const juce::String& cpu)
{
    const auto body = "Product: " + productName + " " + productVersion + "\n"
                    + "Operating System: " + operatingSystem + "\n"
                    + "Device: " + device + "\n"
                    + "CPU: " + cpu + "\n"
                    + "\n"
                    + "Your problem, and the steps to recreate it, if possible:\n";
    const auto subject = productName + " help";

    return juce::String ("mailto:") + SupportContacts::supportAddress
         + "?subject=" + juce::URL::addEscapeChars (subject, true)
         + "&body=" + juce::URL::addEscapeChars (body, true);
}

namespace
{
    const juce::String discordText ("The Tessarine Discord is a vibrant community of musicians and producers, and this is the fastest way "
                                    "to get answers to simple questions. Just join and drop in the appropriate channel. ");
    const juce::String mailText ("If you have more complicated questions, or matters that need to remain private, concerning account "
                                 "information, etc., feel free to email us.");
    const juce::String copyrightText ("Copyright (C) 2026 Tessarine. All rights reserved.");

    juce::String aboutParagraph()
    {
        return juce::String ("The Tessarine Plugin Manager v") + identity::applicationVersion
             + " cross-platform installater. \nFeel free to drop us a line if you have any suggestions or questions concerning its use.";
    }
}

panel_support::panel_support (const juce::String& name, const juce::String& version)
    : OverlayPanel ("SUPPORT"), productName (name), productVersion (version),
      discordIcon (juce::Drawable::createFromImageData (BinaryData::icon_discord_svg, (size_t) BinaryData::icon_discord_svgSize)),
      mailIcon (juce::Drawable::createFromImageData (BinaryData::icon_mail_svg, (size_t) BinaryData::icon_mail_svgSize)),
      aboutText (addText ([] { return "About Tessarine Plugin Manager. " + aboutParagraph() + " " + copyrightText; })),
      unopenedLinkText (addText ([this] { return unopenedLink; }))
{
    unopenedLinkText.setVisible (false);

    // Each button's help is the paragraph painted beside it.
    discordButton = makeButton ({ "DISCORD", ScreenControl::says ("Discord: join the Tessarine community server"),
                                  [] { return discordText; },
                                  [this] { openLink (juce::URL (SupportContacts::discordInviteUrl)); } });
    mailButton = makeButton ({ "MAIL", ScreenControl::says ("E-mail support: write a message with your system filled in"),
                               [] { return mailText; },
                               [this]
                               {
                                   openLink (juce::URL (supportMailAddress (productName, productVersion, juce::SystemStats::getOperatingSystemName(),
                                                                           juce::SystemStats::getDeviceDescription(), juce::SystemStats::getCpuModel())));
                               } });
}

panel_support::~panel_support() = default;

void panel_support::openLink (const juce::URL& url)
{
    unopenedLink = openUrl (url) ? juce::String() : linkInWords (url);
    unopenedLinkText.setVisible (unopenedLink.isNotEmpty());
    repaint();

    if (unopenedLink.isNotEmpty())
        juce::AccessibilityHandler::postAnnouncement (unopenedLink, juce::AccessibilityHandler::AnnouncementPriority::high);
}

void panel_support::resized()
{
    layoutCloseButton();
    discordButton->setBounds (unitBounds (10.0f, 15.0f, 10.0f, 10.0f));
    mailButton->setBounds (unitBounds (10.0f, 35.0f, 10.0f, 10.0f));
    aboutText.setBounds (unitBounds (10.0f, 57.0f, 80.0f, 33.0f));
    unopenedLinkText.setBounds (unitBounds (10.0f, 91.0f, 80.0f, 4.0f));
}

void panel_support::paintIconButton (juce::Graphics& g, const juce::Button& b, juce::Drawable& icon)
{
    const auto u = unit;
    g.setColour (ButtonFace::colour (b));
    const auto bounds = b.getBounds().toFloat();
    g.fillRoundedRectangle (bounds, u);
    icon.drawWithin (g, bounds.reduced (2.0f * u), juce::RectanglePlacement::centred, 1.0f);
}

void panel_support::paint (juce::Graphics& g)
{
    const auto u = unit;
    paintFrame (g, {});

    const auto heading = [&] (const juce::String& text, float y, float height, juce::Colour colour)
    {
        g.setColour (colour);
        g.setFont (height * u);
        g.drawText (text, juce::Rectangle<float> (10.0f * u, y * u, 80.0f * u, 10.0f * u), juce::Justification::centredLeft, true);
    };
    const auto paragraph = [&] (const juce::String& text, juce::Rectangle<float> area)
    {
        g.setColour (Palette::warmGrey);
        g.setFont (3.0f * u);
        g.drawFittedText (text, area.toNearestInt(), juce::Justification::topLeft, 20);
    };
    const auto beside = [u] (const juce::Button& b)
    {
        return juce::Rectangle<float> ((float) b.getX() + 12.0f * u, (float) b.getY(), 70.0f * u, 30.0f * u);
    };

    heading ("DISCORD", 7.0f, 5.0f, Palette::offWhite);
    paintIconButton (g, *discordButton, *discordIcon);
    paragraph (discordText, beside (*discordButton));

    heading ("E-MAIL", 27.0f, 5.0f, Palette::offWhite);
    paintIconButton (g, *mailButton, *mailIcon);
    paragraph (mailText, beside (*mailButton));

    heading ("ABOUT TESSARINE PLUGIN MANAGER", 57.0f, 3.0f, Palette::warmGrey);
    paragraph (aboutParagraph(), { 10.0f * u, 65.0f * u, 80.0f * u, 30.0f * u });

    g.drawSingleLineText (copyrightText, (int) (10.0f * u), (int) (88.0f * u));

    if (unopenedLink.isNotEmpty())
        g.drawFittedText (unopenedLink, unitBounds (10.0f, 91.0f, 80.0f, 4.0f), juce::Justification::centredLeft, 1, 0.7f);
}
