#include "TestEnvironment.h"
#include <cstdlib>

static std::optional<std::string> currentValue (const char* name)
{
    if (const char* value = std::getenv (name))
        return std::string (value);

    return std::nullopt;
}

static void applyValue (const char* name, const std::optional<std::string>& value)
{
    if (value.has_value())
        ::setenv (name, value->c_str(), 1);
    else
        ::unsetenv (name);
}

IsolatedHome::IsolatedHome()
{
    char pattern[] = "/tmp/tsr-XXXXXX";
    const char* made = ::mkdtemp (pattern);

    if (made == nullptr)
        throw std::runtime_error ("cannot create a temporary folder");

    root = juce::File (made);
    tempFolder().createDirectory();

    setVariable ("HOME", root.getFullPathName());
    setVariable ("XDG_DATA_HOME", std::nullopt);
    setVariable ("VST_PATH", std::nullopt);
    setVariable ("TMPDIR", tempFolder().getFullPathName());
}

IsolatedHome::~IsolatedHome()
{
    for (const auto& [name, value] : saved)
        applyValue (name.c_str(), value);

    root.deleteRecursively();
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

    for (auto pos = text.find (marker); pos != std::string::npos; pos = text.find (marker, pos + path.size()))
        text.replace (pos, marker.size(), path);

    return text;
}
