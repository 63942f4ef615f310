#include "UninstallEntry.h"
#include "Platform.h"

#if ! JUCE_WINDOWS

namespace platform
{
    namespace
    {
        juce::File fileOf (const juce::String& productCode)
        {
            const auto data = machineDataFolder();
            return data == juce::File() ? juce::File() : data.getChildFile ("tsr_installer/uninstall").getChildFile (productCode + ".xml");
        }

        std::unique_ptr<juce::XmlElement> read (const juce::String& productCode)
        {
            const auto file = fileOf (productCode);
            return file.existsAsFile() ? juce::parseXML (file) : nullptr;
        }
    }

    bool writeUninstallEntry (const juce::String& productCode, const UninstallEntry& entry)
    {
        const auto file = fileOf (productCode);
        if (file == juce::File() || ! file.getParentDirectory().createDirectory())
            return false;

        juce::XmlElement root ("UninstallEntry");
        for (const auto& [name, value] : entry.text)
            root.createNewChildElement ("Text")->setAttribute (name, value);

        for (const auto& [name, value] : entry.numbers)
            root.createNewChildElement ("Number")->setAttribute (name, juce::String (value));

        return root.writeTo (file);
    }

    juce::String uninstallEntryValue (const juce::String& productCode, const juce::String& name)
    {
        if (const auto root = read (productCode))
            for (const auto* value : root->getChildIterator())
                if (value->hasAttribute (name))
                    return value->getStringAttribute (name);

        return {};
    }

    bool hasUninstallEntry (const juce::String& productCode)
    {
        return fileOf (productCode).existsAsFile();
    }

    bool removeUninstallEntry (const juce::String& productCode)
    {
        return fileOf (productCode).deleteFile();
    }

    juce::File programsFolder()
    {
        const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
        return home == juce::File() ? juce::File() : home.getChildFile (".local/lib");
    }

    juce::File runningProgram()
    {
        return juce::File::getSpecialLocation (juce::File::currentExecutableFile);
    }

    Removal removeRunningProgram (const juce::File& program)
    {
        // A running program's file may go: the process keeps what it maps.
        if (! program.deleteFile())
            return Removal::refused;

        std::ignore = program.getParentDirectory().deleteFile();     // only when empty
        return Removal::done;
    }
}

#endif
