#include "TestEnvironment.h"
#include <cstdlib>
#include <random>

#if JUCE_WINDOWS
 #include <stdlib.h>
#else
 #include <unistd.h>
#endif

static std::optional<std::string> currentValue (const char* name)
{
    if (const char* value = std::getenv (name))
        return std::string (value);

    return std::nullopt;
}

static void applyValue (const char* name, const std::optional<std::string>& value)
{
   #if JUCE_WINDOWS
    _putenv_s (name, value.has_value() ? value->c_str() : "");
   #else
    if (value.has_value())
        ::setenv (name, value->c_str(), 1);
    else
        ::unsetenv (name);
   #endif
}

static juce::File makeFixedLengthFolder()
{
   #if JUCE_WINDOWS
    std::random_device seed;
    std::mt19937 random (seed());
    const char* letters = "abcdefghijklmnopqrstuvwxyz0123456789";

    for (int attempt = 0; attempt < 100; ++attempt)
    {
        juce::String name ("C:\\tsr-");
        for (int i = 0; i < 6; ++i)
            name << letters[random() % 36];

        const juce::File folder (name);
        if (! folder.exists() && folder.createDirectory())
            return folder;
    }
   #else
    char pattern[] = "/tmp/tsr-XXXXXX";
    if (const char* made = ::mkdtemp (pattern))
        return juce::File (made);
   #endif

    throw std::runtime_error ("cannot create a temporary folder");
}

IsolatedHome::IsolatedHome()
{
    root = makeFixedLengthFolder();
    tempFolder().createDirectory();

   #if JUCE_WINDOWS
    setVariable ("TMP", tempFolder().getFullPathName());
    setVariable ("TEMP", tempFolder().getFullPathName());
    removeMachineState();
   #else
    setVariable ("HOME", root.getFullPathName());
    setVariable ("XDG_DATA_HOME", std::nullopt);
    setVariable ("VST_PATH", std::nullopt);
    setVariable ("TMPDIR", tempFolder().getFullPathName());
   #endif
}

IsolatedHome::~IsolatedHome()
{
    for (const auto& [name, value] : saved)
        applyValue (name.c_str(), value);

   #if JUCE_WINDOWS
    removeMachineState();
   #endif

    root.deleteRecursively();
}

juce::File IsolatedHome::settingsFolder() const
{
   #if JUCE_WINDOWS
    return juce::File ("C:\\ProgramData\\Tessarine");
   #else
    return root.getChildFile (".local/share/Tessarine");
   #endif
}

juce::File IsolatedHome::defaultFolder (int format) const
{
   #if JUCE_WINDOWS
    const juce::File base ("C:\\Program Files\\Common Files");
    const char* folders[] = { "VST3", "VST2", "CLAP", "Avid\\Audio\\Plug-Ins" };
   #else
    const auto base = root;
    const char* folders[] = { ".vst3", ".vst", ".clap", ".local/share/Avid/Audio/Plug-Ins" };
   #endif
    return base.getChildFile (folders[format]);
}

void IsolatedHome::removeMachineState() const
{
   #if JUCE_WINDOWS
    settingsFolder().deleteRecursively();
    const char* items[] = { "Vantorix3.vst3", "Vantorix3.dll", "Vantorix3.clap", "Vantorix3.aaxplugin" };

    for (int format = 0; format < 4; ++format)
    {
        defaultFolder (format).getChildFile (items[format]).deleteRecursively();
        defaultFolder (format).getChildFile ("." + juce::String (items[format]) + ".tsr-work").deleteRecursively();
    }

    runCommand ({ "reg", "delete", "HKLM\\SOFTWARE\\VST", "/v", "VSTPluginsPath", "/f", "/reg:64" });

    // What a run registers: the product's uninstall entry and kept manager.
    juce::WindowsRegistry::deleteKey ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tessarine.Vantorix3",
                                      juce::WindowsRegistry::WoW64_64bit);
    juce::File ("C:\\Program Files\\Tessarine").deleteRecursively();
   #endif
}

void IsolatedHome::setVariable (const char* name, std::optional<juce::String> value)
{
    if (saved.find (name) == saved.end())
        saved[name] = currentValue (name);

    applyValue (name, value.has_value() ? std::optional<std::string> (value->toStdString()) : std::nullopt);
}

std::string readBytes (const juce::File& file)
{
    juce::MemoryBlock block;

    if (! file.loadFileAsData (block) || block.getSize() == 0)
        return {};

    return std::string (static_cast<const char*> (block.getData()), block.getSize());
}

void writeBytes (const juce::File& file, const std::string& bytes)
{
    file.getParentDirectory().createDirectory();
    file.replaceWithData (bytes.data(), bytes.size());
}

std::string withRoot (std::string text, const juce::File& root)
{
    const std::string marker = "%ROOT%", path = root.getFullPathName().toStdString();
    const auto separator = (char) juce::File::getSeparatorChar();

    for (auto pos = text.find (marker); pos != std::string::npos; pos = text.find (marker, pos))
    {
        text.replace (pos, marker.size(), path);
        pos += path.size();

        for (; pos < text.size() && text[pos] != '"' && text[pos] != ':' && text[pos] != ' '; ++pos)
            if (text[pos] == '/')
                text[pos] = separator;
    }

    return text;
}

int runCommand (const juce::StringArray& command)
{
    juce::ChildProcess process;

    if (! process.start (command, 0))
        return -1;

    process.waitForProcessToFinish (30000);
    return (int) process.getExitCode();
}

std::map<std::string, std::string> snapshotTree (const juce::File& folder)
{
    std::map<std::string, std::string> tree;

    for (const auto& entry : juce::RangedDirectoryIterator (folder, true, "*", juce::File::findFilesAndDirectories,
                                                            juce::File::FollowSymlinks::no))
    {
        const auto& file = entry.getFile();
        const auto relative = file.getRelativePathFrom (folder).replaceCharacter ('\\', '/').toStdString();
        tree[relative] = file.isSymbolicLink() ? std::string ("<link>")
                       : entry.isDirectory() ? std::string ("<dir>") : readBytes (file);
    }

    return tree;
}

juce::File versionFixture (const char* name)
{
    return juce::File (TSR_TEST_FIXTURES).getChildFile (name);
}

juce::Button& buttonNamed (juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
        if (child->getName() == name)
            if (auto* b = dynamic_cast<juce::Button*> (child))
                return *b;

    throw std::runtime_error ("no button " + name.toStdString());
}
