#include "ScenarioDisk.h"

juce::MemoryBlock smallArchive (int format, const char* versionFixtureName, bool withPreset)
{
    const auto binary = readBytes (versionFixture (versionFixtureName));
    std::vector<std::pair<juce::String, std::string>> entries;

    if (format == vst3Format)
    {
        entries = { { "Vantorix3.vst3\\Contents\\", {} },
                    { "Vantorix3.vst3\\Contents\\Resources\\moduleinfo.json", "{ \"Name\": \"Vantorix3\" }" },
                    { "Vantorix3.vst3\\Contents\\x86_64-win\\Vantorix3.vst3", binary } };

        if (withPreset)
            entries.push_back ({ "Vantorix3.vst3\\Contents\\Resources\\Presets\\Warm.vst3preset", "preset" });
    }
    else if (format == aaxFormat)
    {
        entries = { { "Vantorix3.aaxplugin\\Contents\\", {} },
                    { "Vantorix3.aaxplugin\\desktop.ini", "[.ShellClassInfo]" },
                    { "Vantorix3.aaxplugin\\Contents\\x64\\Vantorix3.aaxplugin", binary } };
    }
    else
    {
        entries = { { productName + itemExtensions[(size_t) format], binary } };
    }

    juce::ZipFile::Builder builder;
    for (const auto& [name, bytes] : entries)
        builder.addEntry (new juce::MemoryInputStream (bytes.data(), bytes.size(), true), name.endsWithChar ('\\') ? 0 : 6,
                          name, juce::Time (2026, 10, 2, 12, 0));

    juce::MemoryOutputStream out;
    builder.writeToStream (out, nullptr);
    return out.getMemoryBlock();
}
