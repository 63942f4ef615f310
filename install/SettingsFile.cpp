#include "SettingsFile.h"
#include "FormatCatalogue.h"
#include "../platform/Platform.h"

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

    // Writes with the framework's default text form: the XML declaration, an
    // empty line, attributes wrapped after 60 characters, CR LF line ends. The
    // write goes through a temporary file in the same folder, so a missing or
    // read-only folder fails without touching the old file.
    static bool writeDocument (const juce::XmlElement& root, const juce::File& file)
    {
        if (file == juce::File() || file.isDirectory() || ! file.getParentDirectory().isDirectory())
            return false;

        return root.writeTo (file);
    }

    static void createFolderIfMissing (const juce::File& folder)
    {
        if (isUsableInstallFolder (folder) && ! folder.exists())
            folder.createDirectory();
    }

    static void readExisting (const juce::File& file,
                              std::array<juce::File, 4>& installFolders,
                              const std::function<juce::String()>& vst2Default)
    {
        auto root = juce::XmlDocument::parse (file);

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
            if (auto fromSystem = installFolderFromSetting (vst2Default()); fromSystem != juce::File())
                installFolders[vst2Format] = fromSystem;

            root->setAttribute (vst2Attribute, installFolders[vst2Format].getFullPathName());
            writeDocument (*root, file);
        }

        createFolderIfMissing (installFolders[vst2Format]);

        for (auto format : { clapFormat, aaxFormat })
        {
            installFolders[(size_t) format] = installFolderFromSetting (root->getStringAttribute (settingsAttributes[(size_t) format]));
            createFolderIfMissing (installFolders[(size_t) format]);
        }
    }

    static void createWithDefaults (const juce::File& file,
                                    std::array<juce::File, 4>& installFolders,
                                    const std::function<juce::String()>& vst2Default)
    {
        juce::XmlElement root (rootTag);
        root.setAttribute (noteAttribute, noteText);
        root.setAttribute (settingsAttributes[clapFormat], installFolders[clapFormat].getFullPathName());
        root.setAttribute (settingsAttributes[vst3Format], installFolders[vst3Format].getFullPathName());

        if (auto fromSystem = installFolderFromSetting (vst2Default()); fromSystem != juce::File())
            installFolders[vst2Format] = fromSystem;

        root.setAttribute (settingsAttributes[vst2Format], installFolders[vst2Format].getFullPathName());
        root.setAttribute (settingsAttributes[aaxFormat], installFolders[aaxFormat].getFullPathName());
        writeDocument (root, file);
    }

    void loadSettings (const juce::File& settingsFolder,
                       std::array<juce::File, 4>& installFolders,
                       const std::function<juce::String()>& vst2Default)
    {
        const auto file = settingsFileIn (settingsFolder);

        if (file == juce::File())
            return;

        if (file.existsAsFile())
            readExisting (file, installFolders, vst2Default);
        else
            createWithDefaults (file, installFolders, vst2Default);
    }

    bool writeFolderSetting (const juce::File& settingsFolder,
                             const juce::String& attributeName,
                             const juce::String& folderPath)
    {
        const auto file = settingsFileIn (settingsFolder);

        if (file == juce::File() || ! file.existsAsFile())
            return false;

        auto root = juce::XmlDocument::parse (file);

        if (root == nullptr)
            return false;

        root->setAttribute (attributeName, folderPath);
        return writeDocument (*root, file);
    }
}
