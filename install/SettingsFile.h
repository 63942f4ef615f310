#pragma once

#include <juce_core/juce_core.h>
#include <array>
#include <functional>

/** The XML file of install folders that every installer of the maker shares.

    The program reads it at start, creates it when it is missing, adds
    VST2_Path when it lacks one, and rewrites one attribute when the user picks
    a folder. Only a folder choice creates the settings folder: at start,
    without that folder nothing is written and the in-memory folders are used.

    Run elevated, the program reads and writes the folder and the file only
    when no other user could have made or changed them (platform/TrustedFiles.h);
    one that fails that is read as no file at all, nothing is written through
    it, and the reason is given to whoever asked. */
namespace SettingsFile
{
    inline constexpr const char* folderName    = "Tessarine";
    inline constexpr const char* fileName      = "PluginManagerSettings.txt";
    inline constexpr const char* rootTag       = "Plugin_Manager_Settings";
    inline constexpr const char* noteAttribute = "Important_Note:";
    extern const char* const noteText;

    /** The shared settings folder under the machine-wide data folder, or an
        empty File when that base is unknown. */
    juce::File settingsFolderIn (const juce::File& machineDataFolder);

    /** The settings file inside the settings folder (empty when the folder is). */
    juce::File settingsFileIn (const juce::File& settingsFolder);

    /** A folder value from the file, the registry or a chooser as an install
        folder: an empty File unless it is a full path. */
    juce::File installFolderFromSetting (const juce::String& value);

    /** The largest settings file that is read at all; the real one is under 1 KB. */
    inline constexpr juce::int64 maxFileBytes = 1024 * 1024;

    /** The settings document, read the one way every reader uses, or nullptr
        when the file does not parse. Any user may write the file while the
        program runs elevated, so anything beyond the plain format counts as
        not parsing, before the framework's parser sees it: a file over
        maxFileBytes or that is not a regular file, a folder or file another
        user controls while elevated, a NUL, any DTD (and so any entity
        declaration), a second root, and elements nested deeper than
        SettingsText::maxDepth.
        The text is decoded first as the framework decodes text files (UTF-16
        or UTF-8 with a byte-order mark, UTF-8, or one byte a character), as
        the tools administrators write it with do. The predefined entities and
        character references stay ordinary XML, so a folder path may contain
        '&'. Nothing but the file itself is ever opened. */
    std::unique_ptr<juce::XmlElement> readDocument (const juce::File& file);

    /** Reads the install folders from the file, or creates the file from the
        folders given; see the comment above. installFolders holds the defaults
        on entry. vst2Default is asked only when the file is created or lacks
        VST2_Path, or when there is no file that may be read at all, and answers
        "" when no system-wide VST2 folder is set. Returns why a settings file
        or folder that is there was not believed ("<path>: <why>"), empty when
        it was, or when there is none. */
    juce::String loadSettings (const juce::File& settingsFolder,
                               std::array<juce::File, 4>& installFolders,
                               const std::function<juce::String()>& vst2Default);

    /** This machine's shared settings, read as every start reads them. */
    struct MachineSettings
    {
        juce::File folder;                                /**< the settings folder; empty when the system names no base */
        std::array<juce::File, 4> installFolders;         /**< the defaults, with what the file says in their place */
        juce::String distrust;                            /**< why the file was not believed; see loadSettings */
    };

    MachineSettings loadMachineSettings();

    /** Whether a folder choice was kept in the file, and why not. */
    struct Kept
    {
        bool written = false;
        juce::String why;       /**< why it was not, in words for the user ("<path>: <why>"); empty when it was */

        explicit operator bool() const noexcept  { return written; }
    };

    /** Sets one attribute in the settings file and writes the document back.
        A missing settings folder or file is made first, the file from the
        folders in use with the choice in it. An unparsable file, one marked
        read-only, or one that may not be trusted, is left as it is. */
    Kept writeFolderSetting (const juce::File& settingsFolder,
                             const juce::String& attributeName,
                             const juce::String& folderPath,
                             const std::array<juce::File, 4>& foldersInUse);

    /** Why a choice could not be kept in the settings file now, in the same
        words; empty when it could (a missing folder or file would be made). */
    juce::String whyChoicesCannotBeKept (const juce::File& settingsFolder);
}
