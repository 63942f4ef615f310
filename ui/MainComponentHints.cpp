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

bool MainComponent::keyPressed (const juce::KeyPress& key)
{
    return FocusRing::enter (*this, key);
}

void MainComponent::modifierKeysChanged (const juce::ModifierKeys& modifiers)
{
    // Shift, Ctrl, Alt and the fourth key flag; mouse-button flags are ignored.
    const auto keys = modifiers.getRawFlags() & 0x0f;
    const auto changed = keys ^ lastModifierFlags;

    if ((changed & juce::ModifierKeys::shiftModifier) != 0)
    {
        shiftHeld = (keys & juce::ModifierKeys::shiftModifier) != 0;
        repaint();
    }

    for (auto bit : { 2, 4, 8 })
        if ((changed & bit) != 0)
            repaint();

    lastModifierFlags = keys;
}

//==============================================================================
namespace
{
    const juce::String ellipsis (juce::CharPointer_UTF8 ("\xe2\x80\xa6"));

    /** What the finished screen's hint line and announcement end with: the
        tiles and INSTALL are gone, and a second change needs a new start. */
    const juce::String changeMore ("To change more, close and start the program again.");
    const juce::String changeMoreShort ("Restart to change more.");

    /** "VST3", "VST3 and CLAP", "VST3, CLAP and AAX". */
    juce::String spokenList (const juce::StringArray& names)
    {
        if (names.size() < 2)
            return names.joinIntoString ({});

        return names.joinIntoString (", ", 0, names.size() - 1) + " and " + names[names.size() - 1];
    }

    /** A folder with the names between its first and its last left out:
        "C:\…\VST3". */
    juce::String shortened (const juce::String& folder)
    {
        const auto separator = juce::File::getSeparatorString();
        const auto first = folder.upToFirstOccurrenceOf (separator, true, false);
        const auto last = folder.fromLastOccurrenceOf (separator, true, false);
        return first.length() + last.length() + 1 < folder.length() ? first + ellipsis + last : folder;
    }

    /** What the folders have in common, up to a separator: "C:\Program Files\Common Files\". */
    juce::String commonStart (const juce::StringArray& folders)
    {
        const auto separator = juce::File::getSeparatorString();
        auto common = folders[0] + separator;

        for (const auto& folder : folders)
            while (common.isNotEmpty() && ! (folder + separator).startsWith (common))
                common = common.dropLastCharacters (1).upToLastOccurrenceOf (separator, true, false);

        return common;
    }
}

juce::String MainComponent::outcomeSentence (int format) const
{
    const auto& outcome = installOutcomes[(size_t) format];
    const juce::String name (formatNames[(size_t) format]);
    const auto folder = run->getRequest().folders[(size_t) format].getFullPathName();

    if (! outcome.succeeded)
        return name + " failed: " + outcome.reason + ".";

    if (outcome.note.isNotEmpty())
        return name + ": " + outcome.note + ".";

    return name + (run->getRequest().uninstall ? " removed from " : " installed in ") + folder + ".";
}

juce::String MainComponent::runSummary() const
{
    if (run == nullptr)
        return {};

    const auto& request = run->getRequest();
    const juce::String done (request.uninstall ? "removed" : "installed");

    // The formats put in (or taken out), with the folder of each.
    juce::StringArray names, folders;
    for (int format = 0; format < numFormats; ++format)
    {
        const auto& outcome = installOutcomes[(size_t) format];
        if (outcome.processed && outcome.succeeded && outcome.note.isEmpty())
        {
            names.add (formatNames[(size_t) format]);
            folders.add (request.folders[(size_t) format].getFullPathName());
        }
    }

    if (names.isEmpty())
        return "Nothing was " + done + ". " + changeMoreShort;

    juce::StringArray distinct (folders);
    distinct.removeDuplicates (false);
    const juce::String where (request.uninstall ? " from " : " in ");

    // From the most that is said to the least, until the line holds it.
    juce::StringArray candidates;

    if (distinct.size() == 1)
    {
        candidates.add (spokenList (names) + " " + done + where + folders[0] + ".");
        candidates.add (spokenList (names) + " " + done + where + shortened (folders[0]) + ".");
    }
    else
    {
        for (const auto& shorten : { false, true })
        {
            juce::StringArray each;
            for (int i = 0; i < names.size(); ++i)
                each.add (names[i] + where + (shorten ? shortened (folders[i]) : folders[i]));

            candidates.add (done.substring (0, 1).toUpperCase() + done.substring (1) + " " + each.joinIntoString (", ") + ".");
        }

        if (const auto common = commonStart (folders); common.length() > 3)
            candidates.add (spokenList (names) + " " + done + where + common + ellipsis);
    }

    candidates.add (spokenList (names) + " " + done + ".");

    const auto font = hintLabel->getFont();
    const auto room = (float) hintLabel->getWidth() - 2.0f * (float) hintLabel->getBorderSize().getLeft();

    for (const auto& candidate : candidates)
        if (font.getStringWidthFloat (candidate + " " + changeMoreShort) <= room)
            return candidate + " " + changeMoreShort;

    return candidates[candidates.size() - 1] + " " + changeMoreShort;
}

int MainComponent::failureLineAt (juce::Point<float> point) const
{
    if (! installFinished || didInstallSucceed())
        return -1;

    const auto lines = failureLines();

    for (int format = 0; format < numFormats; ++format)
        if (lines[(size_t) format].contains (point))
            return format;

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
            sentences.add (outcomeSentence (format));

    sentences.add (changeMore);
    return sentences.joinIntoString (" ");
}

juce::String MainComponent::runText() const
{
    if (run == nullptr)
        return {};

    // Line by line, as a screen reader reads a text.
    juce::StringArray lines;

    if (installFinished)
    {
        lines.add (didInstallSucceed() ? "SUCCESS!" : "FAILED!");

        for (int format = 0; format < numFormats; ++format)
            if (installOutcomes[(size_t) format].processed)
                lines.add (outcomeSentence (format));

        lines.add (changeMore);
        return lines.joinIntoString ("\n");
    }

    for (int format = 0; format < numFormats; ++format)
        if (run->getRequest().formats[(size_t) format])
            lines.add (juce::String (formatNames[(size_t) format]) + ": " + runRowText (format));

    return lines.joinIntoString ("\n");
}
