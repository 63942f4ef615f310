#include "SettingsFile.h"
#include "FormatCatalogue.h"
#include "../platform/Platform.h"
#include "../platform/TrustedFiles.h"
#include <cctype>
#include <string_view>

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
        /** True when a reference starts at `at` ('&') that XML itself defines:
            the five predefined entities or a character reference. */
        bool isXmlOwnReference (std::string_view text, size_t at)
        {
            const auto end = text.find (';', at);
            if (end == std::string_view::npos)
                return false;

            const auto name = text.substr (at + 1, end - at - 1);

            for (auto predefined : { "amp", "lt", "gt", "quot", "apos" })
                if (name == predefined)
                    return true;

            const bool hex = name.size() > 2 && name.substr (0, 2) == "#x";
            const auto digits = name.substr (hex ? 2 : 1);

            return name.size() > 1 && name[0] == '#' && ! digits.empty() && digits.size() <= 8
                    && std::all_of (digits.begin(), digits.end(), [hex] (char c)
                                    { return (c >= '0' && c <= '9') || (hex && std::isxdigit ((unsigned char) c)); });
        }

        /** True when the text holds exactly one root element, nested at most
            maxDepth deep, no declaration other than comments, processing
            instructions and CDATA, and no reference but XML's own. Scanned
            without recursion, so that no nesting can exhaust the stack, and
            before the framework's parser, which follows DTDs and recurses into
            elements without limit. */
        bool isPlainDocument (std::string_view text)
        {
            int roots = 0, depth = 0;
            char quote = 0, previous = 0;
            bool inTag = false, closingTag = false;

            for (size_t i = 0; i < text.size(); ++i)
            {
                const auto c = text[i];

                if (c == '&')
                {
                    if (! isXmlOwnReference (text, i))
                        return false;
                }
                else if (inTag)
                {
                    if (quote != 0)                  { if (c == quote) quote = 0; }
                    else if (c == '"' || c == '\'')  quote = c;
                    else if (c == '>')
                    {
                        inTag = false;

                        // "</a>" and "<a/>" close what they or an earlier tag opened.
                        if (closingTag || previous == '/')
                            --depth;

                        if (depth < 0)
                            return false;
                    }
                }
                else if (c == '<')
                {
                    const auto rest = text.substr (i);
                    const auto skipPast = [&] (std::string_view terminator)
                    {
                        const auto end = text.find (terminator, i);
                        i = end == std::string_view::npos ? text.size() : end + terminator.size() - 1;
                        return end != std::string_view::npos;
                    };

                    if (rest.rfind ("<!--", 0) == 0)          { if (! skipPast ("-->")) return false; }
                    else if (rest.rfind ("<![CDATA[", 0) == 0) { if (! skipPast ("]]>")) return false; }
                    else if (rest.rfind ("<?", 0) == 0)        { if (! skipPast ("?>")) return false; }
                    else if (rest.rfind ("<!", 0) == 0)        return false;   // DOCTYPE, ENTITY and every other declaration
                    else if (rest.rfind ("</", 0) == 0)        { inTag = true; closingTag = true; }
                    else
                    {
                        if (depth == 0 && ++roots > 1)
                            return false;

                        if (++depth > maxDepth)
                            return false;

                        inTag = true;
                        closingTag = false;
                    }
                }

                if (! std::isspace ((unsigned char) c))
                    previous = c;
            }

            return roots == 1 && depth == 0 && ! inTag;
        }

        /** The text of a settings file as the framework reads a text file:
            UTF-16 with a byte-order mark of either order, UTF-8 with or
            without one, and otherwise one byte a character (what Windows'
            ANSI writers produce). Empty when it holds a NUL, which the
            framework's strings would silently end at. */
        juce::String decode (const std::string& bytes)
        {
            const auto* data = reinterpret_cast<const uint8_t*> (bytes.data());
            const bool utf16 = bytes.size() >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));

            if (utf16)
            {
                if (bytes.size() % 2 != 0)
                    return {};

                for (size_t i = 2; i < bytes.size(); i += 2)
                    if (data[i] == 0 && data[i + 1] == 0)
                        return {};
            }
            else if (bytes.find ('\0') != std::string::npos)
            {
                return {};
            }

            return juce::String::createStringFromData (bytes.data(), (int) bytes.size());
        }

        /** The document in the bytes, or nullptr; see readDocument. */
        std::unique_ptr<juce::XmlElement> parse (const std::string& bytes)
        {
            const auto text = decode (bytes);
            const auto utf8 = text.toStdString();

            if (text.isEmpty() || ! isPlainDocument (utf8))
                return nullptr;

            // Parsed from text, the document has no file to resolve anything against.
            juce::XmlDocument document (text);
            return document.getDocumentElement();
        }

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
            auto root = parse (content.bytes);

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

        return parse (content.bytes);
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
            root = parse (content.bytes);
        else if (read.error == platform::FileError::missing && folder.isOpen())
            root = defaultDocument (foldersInUse);

        if (root == nullptr)
            return false;

        root->setAttribute (attributeName, folderPath);
        return writeDocument (*root, folder);
    }
}
