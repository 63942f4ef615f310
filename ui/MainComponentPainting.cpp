// MainComponent's painting: the whole main screen in one pass, beneath the
// invisible buttons, from their bounds and mouse state.

#include "MainComponent.h"
#include "../look/ButtonFace.h"
#include <Identity.h>

namespace
{
    using ButtonFace::isHovered;
    using ButtonFace::isPressed;

    juce::Colour tileColour (InstallState state, bool hovered)
    {
        switch (state)
        {
            case InstallState::NotInstalled: return Palette::warmGrey.withAlpha (hovered ? 0.5f : 0.35f);
            case InstallState::Installed:    return Palette::blue.withAlpha (hovered ? 1.0f : 0.9f);
            case InstallState::NeedsUpdate:  return Palette::orange.withAlpha (hovered ? 1.0f : 0.9f);
        }

        return {};
    }

    juce::Rectangle<float> nonNegative (juce::Rectangle<float> r)
    {
        return r.withWidth (std::max (0.0f, r.getWidth())).withHeight (std::max (0.0f, r.getHeight()));
    }

    void singleLine (juce::Graphics& g, const juce::String& text, float x, float baseline)
    {
        g.drawSingleLineText (text, (int) x, (int) baseline);
    }
}

void MainComponent::paint (juce::Graphics& g)
{
    const auto u = layoutUnit;
    const auto width = (float) getWidth(), height = (float) getHeight();

    g.fillAll (Palette::nearBlack);

    g.setColour (Palette::blue);
    g.fillRect (juce::Rectangle<float> (0.0f, 0.0f, 100.0f * u, u));

    g.setColour (Palette::warmGrey.withAlpha (0.5f));
    const auto gripX = width - 1.5f * u - 0.5f * u, gripY = height - 1.5f * u - 0.5f * u;
    g.fillEllipse (gripX, gripY, u, u);
    g.fillEllipse (gripX, gripY - 2.0f * u, u, u);
    g.fillEllipse (gripX - 2.0f * u, gripY, u, u);

    const juce::Rectangle<float> header (4.0f * u, 8.0f * u, width, 12.0f * u);
    g.setFont (juce::Font (lookAndFeel.regularTypeface));
    g.setColour (Palette::warmGrey);
    g.setFont (9.0f * u);
    g.drawText (productName.toUpperCase(), header, juce::Justification::topLeft, true);

    g.setFont (4.0f * u);
    g.setColour (Palette::warmGrey.withAlpha (0.5f));
    g.drawText ("Version " + productVersion + platformSuffix, header, juce::Justification::bottomLeft, true);

    // The wordmark is recoloured for this drawing only and restored at once.
    logo->replaceColour (juce::Colours::black, Palette::offWhite);
    logo->drawWithin (g, { 4.0f * u, 2.5f * u, 26.7f * u, 3.7f * u },
                      juce::RectanglePlacement::xLeft | juce::RectanglePlacement::yMid, 1.0f);
    logo->replaceColour (Palette::offWhite, juce::Colours::black);

    g.setColour (Palette::warmGrey.withAlpha (0.5f));
    g.setFont (3.0f * u);
    singleLine (g, "PLUGIN MANAGER", 75.0f * u, 4.0f * u);
    g.setFont (2.0f * u);
    singleLine (g, juce::String ("v") + identity::applicationVersion, 75.0f * u, 6.0f * u);

    g.setColour (Palette::warmGrey);
    g.setFont (4.0f * u);
    singleLine (g, "FORMATS", 4.0f * u, 26.0f * u);
    g.fillRect (juce::Rectangle<float> (4.0f * u, 27.5f * u, 92.0f * u, 0.25f * u));
    singleLine (g, "EXTRAS", 4.0f * u, 70.0f * u);
    g.fillRect (juce::Rectangle<float> (4.0f * u, 71.5f * u, 92.0f * u, 0.25f * u));

    paintLinkButtons (g, u);
    paintInstallButton (g, u);

    if (installFinished)
        paintFinishedDisplay (g, u);
    else if (run != nullptr)
        paintRunDisplay (g, u);
    else
        paintFormatArea (g, u);
}

juce::Rectangle<float> MainComponent::runArea() const
{
    const auto u = layoutUnit;
    return { 4.0f * u, 28.0f * u, 92.0f * u, 38.0f * u };
}

std::array<juce::Rectangle<float>, numFormats> MainComponent::failureLines() const
{
    // Each failed format gets a line, in order, between the FORMATS rule and
    // the finished screen's icon; the others none.
    const auto u = layoutUnit;
    std::array<juce::Rectangle<float>, numFormats> lines;
    auto line = juce::Rectangle<float> (4.0f * u, 28.75f * u, 92.0f * u, 2.75f * u);

    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (installOutcomes[i].succeeded)
            continue;

        lines[i] = line;
        line.translate (0.0f, 2.75f * u);
    }

    return lines;
}

namespace
{
    /** What a format's row says while a run works on it. */
    juce::String phaseText (const Progress& progress, double fraction, bool uninstalling)
    {
        switch (progress.phase)
        {
            case Phase::writing:    return "writing " + juce::String (juce::roundToInt (fraction * 100.0)) + " %";
            case Phase::checking:   return "checking";
            case Phase::flushing:   return "saving to disk";
            case Phase::replacing:  return "replacing the installed copy";
            case Phase::waiting:    return "waiting for a file in use: " + progress.waitingFor;
            case Phase::removing:   return uninstalling ? "removing" : "removing the old copy";
        }

        return {};
    }
}

juce::String MainComponent::runRowText (int format) const
{
    const auto& status = shownStatus;
    const auto& outcome = status.outcomes[(size_t) format];
    const bool uninstalling = run->getRequest().uninstall;

    if (outcome.processed)
    {
        if (! outcome.succeeded)
            return "failed: " + outcome.reason;

        return outcome.note.isNotEmpty() ? outcome.note : juce::String (uninstalling ? "removed" : "installed");
    }

    if (status.format == format && ! status.finished)
        return phaseText (status.progress, status.fractionWritten(), uninstalling);

    return "to do";
}

void MainComponent::paintRunDisplay (juce::Graphics& g, float u)
{
    // One row per format of the run, in the order they are worked on: its
    // name, what is happening to it, and a bar of its bytes written.
    const auto& status = shownStatus;
    const bool uninstalling = run->getRequest().uninstall;
    const auto area = runArea();
    auto row = juce::Rectangle<float> (area.getX(), area.getY() + 2.0f * u, area.getWidth(), 8.0f * u);

    g.setFont (juce::Font (lookAndFeel.regularTypeface));

    for (int format = 0; format < numFormats; ++format)
    {
        if (! run->getRequest().formats[(size_t) format])
            continue;

        const auto& outcome = status.outcomes[(size_t) format];
        const bool current = status.format == format;
        const bool waiting = current && status.progress.phase == Phase::waiting;

        const auto text = runRowText (format);
        auto barColour = Palette::blue;
        double fill = 0.0;

        if (outcome.processed)
        {
            barColour = outcome.succeeded ? Palette::green : Palette::orange;
            fill = 1.0;
        }
        else if (current)
        {
            barColour = waiting ? Palette::orange : Palette::blue;
            fill = uninstalling || status.progress.phase != Phase::writing ? 1.0 : status.fractionWritten();
        }

        g.setColour (Palette::warmGrey);
        g.setFont (2.975f * u);
        g.drawText (formatNames[(size_t) format], row.withWidth (16.0f * u).withHeight (3.0f * u), juce::Justification::centredLeft, true);

        g.setColour (waiting ? Palette::orange : Palette::warmGrey.withAlpha (current || outcome.processed ? 1.0f : 0.5f));
        g.setFont (2.55f * u);
        g.drawText (text, row.withTrimmedLeft (16.0f * u).withHeight (3.0f * u), juce::Justification::centredLeft, true);

        const auto bar = juce::Rectangle<float> (row.getX(), row.getY() + 4.0f * u, row.getWidth(), 1.5f * u);
        g.setColour (Palette::warmGrey.withAlpha (0.1f));
        g.fillRoundedRectangle (bar, 0.75f * u);

        if (fill > 0.0)
        {
            g.setColour (barColour);
            g.fillRoundedRectangle (bar.withWidth (std::max (1.5f * u, bar.getWidth() * (float) fill)), 0.75f * u);
        }

        row.translate (0.0f, 9.0f * u);
    }
}

void MainComponent::paintLinkButtons (juce::Graphics& g, float u)
{
    g.setFont (2.25f * u);

    for (size_t i = 0; i < extraButtons.size(); ++i)
    {
        const auto& button = *extraButtons[i];
        const auto b = button.getBounds().toFloat();
        g.setColour (ButtonFace::colour (button));
        g.fillRoundedRectangle (b, 0.5f * u);
        g.setColour (Palette::nearBlack);
        g.drawText (extraNames[i], b, juce::Justification::centred, true);
    }
}

void MainComponent::paintInstallButton (juce::Graphics& g, float u)
{
    const auto b = installButton->getBounds().toFloat();
    g.setColour (ButtonFace::colour (*installButton));
    g.fillRoundedRectangle (b, u);

    installIcon->drawWithin (g, nonNegative (b.reduced (1.5f * u)), juce::RectanglePlacement::centred, 1.0f);

    g.setColour (Palette::warmGrey);
    g.drawText (shiftHeld ? "UNINSTALL" : "INSTALL", b.translated (0.0f, 3.5f * u),
                juce::Justification::centredBottom, true);
}

void MainComponent::paintFinishedDisplay (juce::Graphics& g, float u)
{
    const bool succeeded = didInstallSucceed();
    const auto accent = succeeded ? Palette::green : Palette::orange;
    const auto area = runArea();

    installIcon->replaceColour (Palette::charcoal, accent);
    installIcon->drawWithin (g, area.reduced (12.0f * u), juce::RectanglePlacement::centred, 1.0f);
    installIcon->replaceColour (accent, Palette::charcoal);

    g.setFont (juce::Font (lookAndFeel.regularTypeface));
    g.setFont (8.0f * u);
    g.setColour (Palette::offWhite);
    g.drawText (succeeded ? "SUCCESS!" : "FAILED!", area, juce::Justification::centredBottom, true);

    if (succeeded)
        return;

    // Each failed format and why.
    g.setFont (2.5f * u);
    g.setColour (Palette::warmGrey);
    const auto lines = failureLines();

    for (size_t i = 0; i < lines.size(); ++i)
        if (! lines[i].isEmpty())
            g.drawText (juce::String (formatNames[i]) + ": " + installOutcomes[i].reason, lines[i], juce::Justification::centred, true);
}

void MainComponent::paintFormatArea (juce::Graphics& g, float u)
{
    g.setFont (2.7f * u);

    const auto all = selectAllButton->getBounds().toFloat();
    const bool allPressed = isPressed (*selectAllButton);
    g.setColour (allPressed ? Palette::green : Palette::warmGrey.withAlpha (0.1f));
    g.fillRoundedRectangle (all, u);
    g.setColour (allPressed ? Palette::charcoal : Palette::warmGrey);
    g.drawText ("SELECT ALL", all, juce::Justification::centred, true);

    for (size_t i = 0; i < formatButtons.size(); ++i)
    {
        const auto& button = *formatButtons[i];
        const auto b = button.getBounds().toFloat();
        const auto detected = detectInstallState ((int) i);

        g.setColour (tileColour (detected.state, isHovered (button)));
        g.fillRoundedRectangle (b, u);

        if (selected[i])
        {
            g.setColour (Palette::yellow);
            g.drawRoundedRectangle (b, u, 0.5f * u);
        }

        const auto text = nonNegative ({ b.getX() + 11.5f * u, b.getY() + 1.5f * u, b.getWidth() - 3.0f * u, b.getHeight() - 3.0f * u });
        g.setColour (Palette::nearBlack);
        g.setFont (2.975f * u);
        g.drawText (formatNames[i], text, juce::Justification::topLeft, true);
        g.setFont (2.55f * u);
        g.drawText (installStateText (detected), text, juce::Justification::bottomLeft, true);

        formatIcons[i]->drawWithin (g, nonNegative ({ b.getX() + u, b.getY() + u, 8.0f * u, b.getHeight() - 2.0f * u }),
                                    juce::RectanglePlacement::centred, 1.0f);
    }
}
