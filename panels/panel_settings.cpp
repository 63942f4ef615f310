#include "panel_settings.h"
#include "../install/FormatCatalogue.h"
#include "../install/SettingsFile.h"
#include "../look/ButtonFace.h"

panel_settings::panel_settings (const juce::File& file, const std::array<juce::File, 4>& folders, FolderCallback callback)
    : settingsFile (file), foldersInUse (folders), onFolderChosen (std::move (callback))
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

    for (size_t i = 0; i < folderRows.size(); ++i)
    {
        auto editor = std::make_unique<juce::TextEditor>();
        editor->setReadOnly (true);
        editor->setCaretVisible (false);
        editor->setColour (juce::TextEditor::backgroundColourId, Palette::charcoal);
        editor->setColour (juce::TextEditor::outlineColourId, Palette::warmGrey.withAlpha ((juce::uint8) 0x4C));
        editor->setColour (juce::TextEditor::textColourId, Palette::warmGrey);
        editor->setText (document != nullptr ? document->getStringAttribute (folderRows[i].attributeName) : juce::String(), false);
        editor->applyColourToAllText (Palette::warmGrey);
        addAndMakeVisible (*editor);
        pathEditors.push_back (std::move (editor));

        auto button = std::make_unique<juce::TextButton>();
        button->setName ("BROWSE" + juce::String ((int) i));
        button->setAlpha (0.0f);
        button->addListener (this);
        addAndMakeVisible (*button);
        browseButtons.push_back (std::move (button));
    }
}

panel_settings::~panel_settings() = default;

void panel_settings::resized()
{
    const auto u = unit;
    layoutCloseButton();
    auto y = 16.0f * u;

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
    g.drawFittedText ("Destinations used by all Tessarine installers. Please note that each format defaults to the 'correct' "
                      "destination as determined by the entity in charge of that format. We recommend leaving these paths "
                      "as-is. Otherwise, your mileage can and will vary.",
                      unitBounds (4.0f, 50.0f, 92.0f, 20.0f),
                      juce::Justification::topLeft, 3, 0.0f);
}

juce::File panel_settings::startFolderFor (int row) const
{
    const auto path = pathEditors[(size_t) row]->getText();
    return SettingsFile::installFolderFromSetting (path).isDirectory() ? juce::File (path) : juce::File();
}

void panel_settings::buttonClicked (juce::Button* button)
{
    const auto name = button->getName();

    if (name == "X")
    {
        close();
        return;
    }

    if (! name.startsWith ("BROWSE"))
        return;

    const auto row = name.substring (6).getIntValue();
    if (row < 0 || row >= (int) folderRows.size())
        return;

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

    if (settingsFile != juce::File())
        SettingsFile::writeFolderSetting (settingsFile.getParentDirectory(), folderRows[(size_t) row].attributeName, path, foldersInUse);

    if (onFolderChosen)
        onFolderChosen (folderRows[(size_t) row].attributeName, path);
}
