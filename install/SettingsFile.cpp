#include "SettingsFile.h"
#include "FormatCatalogue.h"
#include "../platform/Platform.h"
#include "../platform/TrustedFiles.h"
#include "SettingsText.h"

namespace SettingsFile
{
    const char* const noteText =
        "These are the paths that all Tessarine installers will use for their respective formats. "
        "Edit them to personal taste, but keep in mind that some formats have specific homes. "
        "Use this feature at your own risk; follow the naming and separator conventions exactly as you see them, "
        "or you could end up with unintended consequences. If you delete this file, the next time you run the "
        "Plugin Manager for any TSR product, a new one with the default locations will be written.";

    juce::File settingsFolderIn (const juce::File& machineDataFolder)
    {
        if (machineDataFolder == juce::File())
            return {};

        return machineDataFolder.getChildFile (folderName);
    }

    juce::File settingsFileIn (const juce::File& settingsFolder)
    {
        if (settingsFolder == juce::File())
            return {};

        return settingsFolder.getChildFile (fileName);
    }

    juce::File installFolderFromSetting (const juce::String& value)
    {
        return platform::isAbsoluteFolderPath (value) ? juce::File (value) : juce::File();
    }

    namespace
    {
        /** Opens the settings folder, and reads the file in it when there is one. */
        platform::FileResult openAndRead (const juce::File& settingsFolder, bool createFolder,
                                          platform::Folder& folder, platform::FileContent& content)
        {
            if (settingsFolder == juce::File())
                return { platform::FileError::missing, 0, "no settings folder", {} };

            if (auto result = platform::openTrustedFolder (settingsFolder.getParentDirectory(), settingsFolder.getFileName(),
                                                           createFolder, folder);
                 ! result.ok())
                return result;

            return platform::readTrustedFile (folder, fileName, maxFileBytes, content);
        }

        /** A refusal in words: where, and why. */
        juce::String inWords (const platform::FileResult& result)
        {
            return result.path + ": " + result.message;
        }

        /** Why what openAndRead found is not settings to believe or write; empty
            when it is, or there is nothing (yet) to refuse. */
        juce::String distrustOf (const platform::FileResult& read)
        {
            return read.error == platform::FileError::accessDenied ? inWords (read) : juce::String();
        }

        // Writes with the framework's default text form: the XML declaration, an
        // empty line, attributes wrapped after 60 characters, CR LF line ends,
        // through a new file renamed over the old, so a failed write leaves it.
        platform::FileResult writeDocument (const juce::XmlElement& root, const platform::Folder& folder)
        {
            return platform::replaceTrustedFile (folder, fileName, root.toString().toStdString());
        }

        /** A new document holding the note and the folders given. */
        std::unique_ptr<juce::XmlElement> defaultDocument (const std::array<juce::File, 4>& installFolders)
        {
            auto root = std::make_unique<juce::XmlElement> (rootTag);
            root->setAttribute (noteAttribute, noteText);

            for (auto format : { clapFormat, vst3Format, vst2Format, aaxFormat })
                root->setAttribute (settingsAttributes[(size_t) format], installFolders[(size_t) format].getFullPathName());

            return root;
        }

        /** The system-wide VST2 folder replaces the default when one is set. */
        void takeSystemVst2Folder (std::array<juce::File, 4>& installFolders, const std::function<juce::String()>& vst2Default)
        {
            if (auto fromSystem = installFolderFromSetting (vst2Default()); fromSystem != juce::File())
                installFolders[vst2Format] = fromSystem;
        }

        void createFolderIfMissing (const juce::File& folder)
        {
            if (isUsableInstallFolder (folder) && ! folder.exists())
                folder.createDirectory();
        }

        void readExisting (const platform::Folder& folder, const platform::FileContent& content,
                           std::array<juce::File, 4>& installFolders, const std::function<juce::String()>& vst2Default)
        {
            auto root = SettingsText::parse (content.bytes);

            if (root == nullptr)
                return;

            // An attribute the file lacks leaves that format its default: a
            // file naming one folder (as an administrator's script writes it)
            // does not switch the others off.
            const auto takeFolder = [&] (int format)
            {
                if (! root->hasAttribute (settingsAttributes[(size_t) format]))
                    return;

                installFolders[(size_t) format] = installFolderFromSetting (root->getStringAttribute (settingsAttributes[(size_t) format]));
                createFolderIfMissing (installFolders[(size_t) format]);
            };

            takeFolder (vst3Format);

            const auto* vst2Attribute = settingsAttributes[vst2Format];

            if (root->hasAttribute (vst2Attribute))
            {
                installFolders[vst2Format] = installFolderFromSetting (root->getStringAttribute (vst2Attribute));
            }
            else
            {
                takeSystemVst2Folder (installFolders, vst2Default);

                // A file marked read-only is left as it is.
                root->setAttribute (vst2Attribute, installFolders[vst2Format].getFullPathName());
                if (! content.readOnly)
                    std::ignore = writeDocument (*root, folder);
            }

            createFolderIfMissing (installFolders[vst2Format]);

            for (auto format : { clapFormat, aaxFormat })
                takeFolder (format);
        }
    }

    std::unique_ptr<juce::XmlElement> readDocument (const juce::File& file)
    {
        platform::Folder folder;
        platform::FileContent content;

        if (file.getFileName() != fileName || ! openAndRead (file.getParentDirectory(), false, folder, content).ok())
            return nullptr;

        return SettingsText::parse (content.bytes);
    }

    juce::String loadSettings (const juce::File& settingsFolder,
                               std::array<juce::File, 4>& installFolders,
                               const std::function<juce::String()>& vst2Default)
    {
        platform::Folder folder;
        platform::FileContent content;
        const auto read = openAndRead (settingsFolder, false, folder, content);

        if (read.ok())
        {
            readExisting (folder, content, installFolders, vst2Default);
            return {};
        }

        // No file, or none that may be trusted: the defaults, and the system's
        // own VST2 folder. A file is made only where one may be, and never in
        // place of one that is there.
        takeSystemVst2Folder (installFolders, vst2Default);

        if (read.error == platform::FileError::missing && folder.isOpen())
            std::ignore = writeDocument (*defaultDocument (installFolders), folder);

        return distrustOf (read);
    }

    MachineSettings loadMachineSettings()
    {
        MachineSettings settings;
        settings.folder = settingsFolderIn (platform::machineDataFolder());
        settings.installFolders = platform::defaultInstallFolders();
        settings.distrust = loadSettings (settings.folder, settings.installFolders, [] { return platform::vst2DefaultFolder(); });
        return settings;
    }

    namespace
    {
        /** The document a choice is written into, or why there is none. */
        std::unique_ptr<juce::XmlElement> documentToChange (const platform::FileResult& read, const platform::Folder& folder,
                                                            const platform::FileContent& content,
                                                            const std::array<juce::File, 4>& foldersInUse, juce::String& why)
        {
            if (read.ok() && content.readOnly)
            {
                why = folder.pathOf (fileName) + ": it is marked read-only";
                return nullptr;
            }

            if (read.ok())
            {
                auto root = SettingsText::parse (content.bytes);
                if (root == nullptr)
                    why = folder.pathOf (fileName) + ": it cannot be read as settings, and is left as it is";

                return root;
            }

            if (read.error == platform::FileError::missing && folder.isOpen())
                return defaultDocument (foldersInUse);

            why = read.path.isNotEmpty() ? inWords (read) : "there is no settings folder on this system";
            return nullptr;
        }
    }

    Kept writeFolderSetting (const juce::File& settingsFolder,
                             const juce::String& attributeName,
                             const juce::String& folderPath,
                             const std::array<juce::File, 4>& foldersInUse)
    {
        // The folder is made for the choice when it is missing; without it the
        // choice would be lost at the next start.
        platform::Folder folder;
        platform::FileContent content;
        const auto read = openAndRead (settingsFolder, true, folder, content);

        Kept kept;
        auto root = documentToChange (read, folder, content, foldersInUse, kept.why);

        if (root == nullptr)
            return kept;

        root->setAttribute (attributeName, folderPath);

        if (const auto written = writeDocument (*root, folder); ! written.ok())
            kept.why = inWords (written);
        else
            kept.written = true;

        return kept;
    }

    juce::String whyChoicesCannotBeKept (const juce::File& settingsFolder)
    {
        if (settingsFolder == juce::File())
            return "there is no settings folder on this system";

        platform::Folder folder;
        platform::FileContent content;
        const auto read = openAndRead (settingsFolder, false, folder, content);

        // A missing folder or file is made by the choice itself.
        if (read.error == platform::FileError::missing)
            return {};

        juce::String why;
        std::ignore = documentToChange (read, folder, content, {}, why);
        return why;
    }
}
