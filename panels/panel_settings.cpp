#include "panel_settings.h"
#include "../install/FormatCatalogue.h"
#include "../install/SettingsFile.h"
#include "../look/ButtonFace.h"

namespace
{
    const juce::String noteParagraph ("Destinations used by all Tessarine installers. Please note that each format defaults to the 'correct' "
                                      "destination as determined by the entity in charge of that format. We recommend leaving these paths "
                                      "as-is. Otherwise, your mileage can and will vary.");
}

panel_settings::panel_settings (const juce::File& file, const std::array<juce::File, 4>& folders, FolderCallback callback)
    : OverlayPanel ("SETTINGS"), settingsFile (file), foldersInUse (folders), onFolderChosen (std::move (callback)),
      noteText (addText ([] { return noteParagraph; })),
      notKeptText (addText ([this] { return notKept; }))
{
    chooseFolder = [this] (const juce::String& title, const juce::File& start, std::function<void (const juce::File&)> completion)
    {
        chooser = std::make_unique<juce::FileChooser> (title, start, juce::String(), true);
        chooser->launchAsync (juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectDirectories,
                              [completion] (const juce::FileChooser& fc) { completion (fc.getResult()); });
    };

    for (size_t i = 0; i < folderRows.size(); ++i)
        folderRows[i] = { formatNames[i], settingsAttributes[i] };

    const auto document = SettingsFile::readDocument (settingsFile);
    sayWhyNotKept (SettingsFile::whyChoicesCannotBeKept (settingsFile.getParentDirectory()));

    for (size_t i = 0; i < folderRows.size(); ++i)
    {
        // A row the file names no folder for shows the one in use, greyed.
        auto editor = std::make_unique<juce::TextEditor>();
        editor->setReadOnly (true);
        editor->setCaretVisible (false);
        editor->setColour (juce::TextEditor::backgroundColourId, Palette::charcoal);
        editor->setColour (juce::TextEditor::outlineColourId, Palette::warmGrey.withAlpha ((juce::uint8) 0x4C));
        editor->setColour (juce::TextEditor::textColourId, Palette::warmGrey);
        editor->setText (document != nullptr ? document->getStringAttribute (folderRows[i].attributeName) : juce::String(), false);
        editor->applyColourToAllText (Palette::warmGrey);
        editor->setTitle (folderRows[i].label + " install folder");
        editor->setHasFocusOutline (true);
        addFocusable (*editor);
        pathEditors.push_back (std::move (editor));
        showFolderInUse ((int) i);

        const auto row = (int) i;
        const auto label = folderRows[i].label;
        browseButtons.push_back (makeButton ({ "BROWSE" + juce::String (row), [label] { return "Choose the " + label + " folder"; },
                                               [label] { return "Choose the " + label + " install folder"; },
                                               [this, row] { browse (row); },
                                               [this, row] { return foldersInUse[(size_t) row].getFullPathName(); } }));
    }
}

void panel_settings::showFolderInUse (int row)
{
    auto& editor = *pathEditors[(size_t) row];
    const auto inUse = foldersInUse[(size_t) row].getFullPathName();
    editor.setTextToShowWhenEmpty (inUse, Palette::warmGrey.withAlpha (0.5f));
    editor.setDescription ("in use: " + inUse);
}

void panel_settings::sayWhyNotKept (const juce::String& why)
{
    notKept = why.isEmpty() ? juce::String() : "Choices here last until the program closes, and cannot be kept: " + why;
    notKeptText.setVisible (notKept.isNotEmpty());
    repaint();
}

panel_settings::~panel_settings() = default;

void panel_settings::resized()
{
    const auto u = unit;
    layoutCloseButton();
    auto y = 16.0f * u;
    noteText.setBounds (unitBounds (4.0f, 50.0f, 92.0f, 20.0f));
    notKeptText.setBounds (unitBounds (4.0f, 42.5f, 92.0f, 6.0f));

    for (size_t i = 0; i < pathEditors.size(); ++i)
    {
        const auto top = juce::roundToInt (y), height = juce::roundToInt (5.0f * u);
        pathEditors[i]->setBounds (juce::roundToInt (22.0f * u), top, juce::roundToInt (56.0f * u), height);
        browseButtons[i]->setBounds (juce::roundToInt (80.0f * u), top, juce::roundToInt (16.0f * u), height);
        y += 6.5f * u;
    }
}

void panel_settings::paint (juce::Graphics& g)
{
    const auto u = unit;
    paintFrame (g, "SETTINGS");

    for (size_t i = 0; i < folderRows.size(); ++i)
    {
        const auto editor = pathEditors[i]->getBounds();
        g.setColour (Palette::warmGrey);
        g.setFont (2.5f * u);
        g.drawText (folderRows[i].label, juce::Rectangle<float> (4.0f * u, (float) editor.getY(), 16.0f * u, (float) editor.getHeight()),
                    juce::Justification::centredLeft, true);

        const auto& button = *browseButtons[i];
        g.setColour (ButtonFace::colour (button));
        g.fillRoundedRectangle (button.getBounds().toFloat(), 0.5f * u);
        g.setColour (Palette::nearBlack);
        g.drawText ("BROWSE", button.getBounds().toFloat(), juce::Justification::centred, true);
    }

    g.setColour (Palette::warmGrey.withAlpha ((juce::uint8) 0xB2));
    g.setFont (2.5f * u);
    g.drawFittedText (noteParagraph, unitBounds (4.0f, 50.0f, 92.0f, 20.0f),
                      juce::Justification::topLeft, 3, 0.0f);

    if (notKept.isNotEmpty())
    {
        g.setColour (Palette::orange);
        g.drawFittedText (notKept, unitBounds (4.0f, 42.5f, 92.0f, 6.0f), juce::Justification::topLeft, 2, 0.7f);
    }
}

juce::File panel_settings::startFolderFor (int row) const
{
    for (auto folder = foldersInUse[(size_t) row]; folder != juce::File(); folder = folder.getParentDirectory())
    {
        if (folder.isDirectory())
            return folder;

        if (folder.getParentDirectory() == folder)
            break;
    }

    return {};
}

void panel_settings::browse (int row)
{
    chooseFolder ("Choose the " + folderRows[(size_t) row].label + " install folder", startFolderFor (row),
                  [safeThis = juce::Component::SafePointer<panel_settings> (this), row] (const juce::File& result)
                  {
                      if (safeThis != nullptr)
                          safeThis->folderChosen (row, result);
                  });
}

void panel_settings::folderChosen (int row, const juce::File& result)
{
    const auto path = result.getFullPathName();
    if (path.isEmpty())
        return;

    pathEditors[(size_t) row]->setText (path, false);
    foldersInUse[(size_t) row] = SettingsFile::installFolderFromSetting (path);
    showFolderInUse (row);

    const auto kept = SettingsFile::writeFolderSetting (settingsFile.getParentDirectory(), folderRows[(size_t) row].attributeName, path, foldersInUse);
    sayWhyNotKept (kept.why);

    if (! kept)
        juce::AccessibilityHandler::postAnnouncement (notKept, juce::AccessibilityHandler::AnnouncementPriority::high);

    if (onFolderChosen)
        onFolderChosen (folderRows[(size_t) row].attributeName, path);
}
