// MainComponent's hover hints and modifier keys: the hint line says what a
// click will do, and Shift turns INSTALL into UNINSTALL.

#include "MainComponent.h"
#include "../look/ButtonFace.h"

juce::String MainComponent::hintFor (const juce::String& name) const
{
    if (name == "EULA")      return "Click to read End-User License Agreement";
    if (name == "MANUAL")    return "Click to open product manual in your web browser";
    if (name == "WEBSITE")   return "Click to open product page on the Tessarine website";
    if (name == "SUPPORT")   return "Email and Discord support";
    if (name == "SETTINGS")  return "Click to set the install folder for each format";
    if (name == "CHANGES")   return "Click to view release notes";

    for (size_t i = 0; i < formatNames.size(); ++i)
    {
        if (name == formatNames[i])
        {
            // A present copy reads "update", a current one too. A newer one is
            // named, since a click would replace it with an older one.
            const auto found = detectInstallState ((int) i);

            if (found.state == InstallState::NotInstalled)
                return "Select to install " + name;

            if (isNewerThanCarried (found, productVersion))
                return "Select to replace the newer v" + found.installedVersion + " of " + name + " with " + productVersion;

            return "Select to update " + name + " to " + productVersion;
        }
    }

    if (name == "INSTALL")
        return juce::String ("Click to install selected. ") + "Shift-click to uninstall selected";

    return {};
}

void MainComponent::buttonStateChanged (juce::Button* button)
{
    if (! ButtonFace::isHovered (*button))
    {
        hintLabel->setText ({}, juce::dontSendNotification);
        return;
    }

    if (const auto hint = hintFor (button->getName()); hint.isNotEmpty())
        hintLabel->setText (hint, juce::dontSendNotification);
}

void MainComponent::modifierKeysChanged (const juce::ModifierKeys& modifiers)
{
    // Shift, Ctrl, Alt and the fourth key flag; mouse-button flags are ignored.
    const auto flags = modifiers.getRawFlags() & 0x0f;
    const auto changed = flags ^ lastModifierFlags;

    if ((changed & juce::ModifierKeys::shiftModifier) != 0)
    {
        shiftHeld = (flags & juce::ModifierKeys::shiftModifier) != 0;
        repaint();
    }

    for (auto bit : { 2, 4, 8 })
        if ((changed & bit) != 0)
            repaint();

    lastModifierFlags = flags;
}
