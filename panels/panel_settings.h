#pragma once

#include "OverlayPanel.h"
#include <array>
#include <functional>

/** The install folder of each format as the shared settings file holds it, with
    a BROWSE button per row. A chosen folder is written to the file at once and
    reported to the owner through onFolderChosen. */
class panel_settings : public OverlayPanel
{
public:
    using FolderCallback = std::function<void (const juce::String& attributeName, const juce::String& path)>;

    /** The file shown and written, the folders the program uses now (the
        file's, or the defaults where it names none), and who hears of a choice. */
    panel_settings (const juce::File& settingsFile, const std::array<juce::File, 4>& foldersInUse, FolderCallback onFolderChosen);
    ~panel_settings() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    /** Where the chooser of a row starts: the row's folder in use, or the
        nearest folder above it that exists; nothing (the system picks) when
        none does. */
    juce::File startFolderFor (int row) const;

    /** The chooser's result for a row; an empty path means it was cancelled.
        The folder chooser's completion calls this with FileChooser::getResult. */
    void folderChosen (int row, const juce::File& result);

    /** Asks the user for a folder: a title, where to start (empty: the system
        picks), and what to do with the result (an empty File when cancelled).
        The system's folder chooser by default. */
    std::function<void (const juce::String& title, const juce::File& startFolder,
                        std::function<void (const juce::File&)> completion)> chooseFolder;

    juce::TextEditor& getEditor (int row)   { return *pathEditors[(size_t) row]; }

    /** The line that says why choices cannot be kept in the settings file;
        empty while they can. */
    const juce::String& getNotKeptLine() const noexcept   { return notKept; }

    struct FolderRow
    {
        juce::String label, attributeName;
    };

private:
    juce::File settingsFile;
    std::array<juce::File, 4> foldersInUse;
    FolderCallback onFolderChosen;
    std::array<FolderRow, 4> folderRows;
    std::vector<std::unique_ptr<juce::TextEditor>> pathEditors;
    std::vector<std::unique_ptr<ScreenButton>> browseButtons;
    ScreenText& noteText;
    juce::String notKept;
    ScreenText& notKeptText;

    void browse (int row);
    void showFolderInUse (int row);
    void sayWhyNotKept (const juce::String& why);
    std::unique_ptr<juce::FileChooser> chooser;
};
