// MainComponent's words: the hover hints (the hint line says what a click
// will do, and Shift turns INSTALL into UNINSTALL), the finished screen's
// summary, and what a screen reader is told of a run.

#include "MainComponent.h"
#include "../look/ButtonFace.h"

juce::String MainComponent::tileHint (int format) const
{
    // A present copy reads "update", a current one too. A newer one is
    // named, since a click would replace it with an older one.
    const juce::String name (formatNames[(size_t) format]);
    const auto found = detectInstallState (format);

    if (found.state == InstallState::NotInstalled)
        return "Select to install " + name;

    if (isNewerThanCarried (found, productVersion))
        return "Select to replace the newer v" + found.installedVersion + " of " + name + " with " + productVersion;

    return "Select to update " + name + " to " + productVersion;
}

void MainComponent::buttonStateChanged (juce::Button* button)
{
    // The keyboard points as the mouse does, once it is in use.
    const bool pointedAt = ButtonFace::isHovered (*button) || (button->hasKeyboardFocus (false) && FocusRing::isShown());

    if (! pointedAt)
    {
        // On the finished screen the line rests on where the run put things.
        hintLabel->setText (installFinished ? runSummary() : juce::String(), juce::dontSendNotification);
        return;
    }

    if (auto* b = dynamic_cast<ScreenButton*> (button))
        if (const auto hint = b->control.hint(); hint.isNotEmpty())
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

//==============================================================================
namespace
{
    /** The folders as one line: their common start written once, then what
        follows it in each, e.g. "C:\Program Files\Common Files\ (VST3, CLAP)". */
    juce::String foldersText (const juce::StringArray& folders, int elideCommonStartTo)
    {
        if (folders.size() == 1)
            return folders[0];

        const auto separator = juce::File::getSeparatorString();
        auto common = folders[0].substring (0, folders[0].lastIndexOf (separator) + 1);

        for (const auto& folder : folders)
            while (common.isNotEmpty() && ! folder.startsWith (common))
                common = common.dropLastCharacters (1).upToLastOccurrenceOf (separator, true, false);

        // Only the root in common says nothing: each is written whole.
        if (common.length() <= 3)
            return folders.joinIntoString (", ");

        juce::StringArray rest;
        for (const auto& folder : folders)
            rest.add (folder.substring (common.length()));

        if (common.length() > elideCommonStartTo)
        {
            // Its first and last names stay, so the place is still known.
            const auto first = common.upToFirstOccurrenceOf (separator, true, false);
            const auto last = common.dropLastCharacters (1).fromLastOccurrenceOf (separator, true, false) + separator;
            if (first.length() + last.length() + 1 < common.length())
                common = first + juce::String (juce::CharPointer_UTF8 ("\xe2\x80\xa6")) + last;
        }

        return common + " (" + rest.joinIntoString (", ") + ")";
    }
}

juce::String MainComponent::runSummary() const
{
    if (run == nullptr)
        return {};

    const auto& request = run->getRequest();
    juce::Array<juce::File> items;

    for (int format = 0; format < numFormats; ++format)
        if (installOutcomes[(size_t) format].processed && installOutcomes[(size_t) format].succeeded)
            items.add (::pluginItemFor (request.folders[(size_t) format], productName, format));

    if (items.isEmpty())
        return request.uninstall ? "Nothing was removed" : "Nothing was installed";

    const juce::String verb (request.uninstall ? "Removed from " : "Installed in ");

    if (items.size() == 1)
        return (request.uninstall ? "Removed " : "Installed ") + items[0].getFullPathName();

    juce::StringArray folders;
    for (const auto& item : items)
        folders.addIfNotAlreadyThere (item.getParentDirectory().getFullPathName());

    // Shortened until it fits the line; the line itself ends what is still too long.
    const auto font = hintLabel->getFont();
    const auto room = (float) hintLabel->getWidth() - 2.0f * (float) hintLabel->getBorderSize().getLeft();
    auto text = verb + foldersText (folders, 1000);

    for (int keep = 60; keep >= 0 && font.getStringWidthFloat (text) > room; keep -= 10)
        text = verb + foldersText (folders, keep);

    return text;
}

int MainComponent::failureLineAt (juce::Point<float> point) const
{
    if (! installFinished || didInstallSucceed())
        return -1;

    // As the finished display lays them out.
    const auto u = layoutUnit;
    auto line = juce::Rectangle<float> (4.0f * u, 28.75f * u, 92.0f * u, 2.75f * u);

    for (int format = 0; format < numFormats; ++format)
    {
        if (installOutcomes[(size_t) format].succeeded)
            continue;

        if (line.contains (point))
            return format;

        line.translate (0.0f, 2.75f * u);
    }

    return -1;
}

void MainComponent::mouseMove (const juce::MouseEvent& event)
{
    const auto line = failureLineAt (event.position);
    if (line == hoveredFailureLine)
        return;

    hoveredFailureLine = line;
    const auto& outcome = installOutcomes[(size_t) std::max (0, line)];
    hintLabel->setText (line >= 0 ? juce::String (formatNames[(size_t) line]) + ": " + (outcome.detail.isNotEmpty() ? outcome.detail : outcome.reason)
                                  : runSummary(),
                        juce::dontSendNotification);
}

void MainComponent::mouseExit (const juce::MouseEvent&)
{
    if (hoveredFailureLine < 0)
        return;

    hoveredFailureLine = -1;
    hintLabel->setText (runSummary(), juce::dontSendNotification);
}

//==============================================================================
namespace
{
    /** "VST3", "VST3 and CLAP", "VST3, CLAP and AAX". */
    juce::String spokenList (const juce::StringArray& names)
    {
        if (names.size() < 2)
            return names.joinIntoString ({});

        return names.joinIntoString (", ", 0, names.size() - 1) + " and " + names[names.size() - 1];
    }
}

juce::String MainComponent::startAnnouncement() const
{
    juce::StringArray names;
    for (int format = 0; format < numFormats; ++format)
        if (run->getRequest().formats[(size_t) format])
            names.add (formatNames[(size_t) format]);

    return (run->getRequest().uninstall ? "Uninstalling " : "Installing ") + spokenList (names);
}

juce::String MainComponent::finishAnnouncement() const
{
    juce::StringArray sentences;

    for (int format = 0; format < numFormats; ++format)
        if (installOutcomes[(size_t) format].processed)
            sentences.add (juce::String (formatNames[(size_t) format]) + " " + runRowText (format) + ".");

    return sentences.joinIntoString (" ");
}

juce::String MainComponent::runText() const
{
    if (run == nullptr)
        return {};

    juce::StringArray lines;

    if (installFinished)
        lines.add (didInstallSucceed() ? "SUCCESS!" : "FAILED!");

    for (int format = 0; format < numFormats; ++format)
        if (run->getRequest().formats[(size_t) format])
            lines.add (juce::String (formatNames[(size_t) format]) + ": " + runRowText (format));

    return lines.joinIntoString ("\n");
}
