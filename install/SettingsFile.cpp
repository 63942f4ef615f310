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

        // Writes with the framework's default text form: the XML declaration, an
        // empty line, attributes wrapped after 60 characters, CR LF line ends,
        // through a new file renamed over the old, so a failed write leaves it.
        bool writeDocument (const juce::XmlElement& root, const platform::Folder& folder)
        {
            return platform::replaceTrustedFile (folder, fileName, root.toString().toStdString()).ok();
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

            installFolders[vst3Format] = installFolderFromSetting (root->getStringAttribute (settingsAttributes[vst3Format]));
            createFolderIfMissing (installFolders[vst3Format]);

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
                    writeDocument (*root, folder);
            }

            createFolderIfMissing (installFolders[vst2Format]);

            for (auto format : { clapFormat, aaxFormat })
            {
                installFolders[(size_t) format] = installFolderFromSetting (root->getStringAttribute (settingsAttributes[(size_t) format]));
                createFolderIfMissing (installFolders[(size_t) format]);
            }
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

    void loadSettings (const juce::File& settingsFolder,
                       std::array<juce::File, 4>& installFolders,
                       const std::function<juce::String()>& vst2Default)
    {
        platform::Folder folder;
        platform::FileContent content;
        const auto read = openAndRead (settingsFolder, false, folder, content);

        if (read.ok())
        {
            readExisting (folder, content, installFolders, vst2Default);
            return;
        }

        // No file, or none that may be trusted: the defaults, and the system's
        // own VST2 folder. A file is made only where one may be, and never in
        // place of one that is there.
        takeSystemVst2Folder (installFolders, vst2Default);

        if (read.error == platform::FileError::missing && folder.isOpen())
            writeDocument (*defaultDocument (installFolders), folder);
    }

    bool writeFolderSetting (const juce::File& settingsFolder,
                             const juce::String& attributeName,
                             const juce::String& folderPath,
                             const std::array<juce::File, 4>& foldersInUse)
    {
        // The folder is made for the choice when it is missing; without it the
        // choice would be lost at the next start.
        platform::Folder folder;
        platform::FileContent content;
        const auto read = openAndRead (settingsFolder, true, folder, content);

        std::unique_ptr<juce::XmlElement> root;

        if (read.ok() && ! content.readOnly)
            root = SettingsText::parse (content.bytes);
        else if (read.error == platform::FileError::missing && folder.isOpen())
            root = defaultDocument (foldersInUse);

        if (root == nullptr)
            return false;

        root->setAttribute (attributeName, folderPath);
        return writeDocument (*root, folder);
    }
}
