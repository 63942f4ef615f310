#pragma once

#include <juce_core/juce_core.h>
#include <string>
#include <string_view>

/** The settings file as text: how its bytes are decoded and what text is
    accepted before the framework's parser sees it. Plain code over the
    framework's strings and XML, so that it can be fuzzed on its own. */
namespace SettingsText
{
    /** How deep elements may nest. The file is shared by every installer of
        the maker, and another may keep elements of its own in it. */
    inline constexpr int maxDepth = 32;

    /** The text as the framework reads a text file: UTF-16 with a byte-order
        mark of either order, UTF-8 with or without one, and otherwise one
        byte a character (what Windows' ANSI writers produce). Empty when it
        holds a NUL, which the framework's strings would silently end at. */
    juce::String decode (const std::string& bytes);

    /** True when the text holds exactly one root element, nested at most
        maxDepth deep, no declaration other than comments, CDATA and
        processing instructions outside the root, and no reference but XML's
        own. */
    bool isPlainDocument (std::string_view utf8);

    /** The document in the bytes, or nullptr when they decode to nothing or
        are not plain as above. Parsed from text, so nothing else is opened. */
    std::unique_ptr<juce::XmlElement> parse (const std::string& bytes);
}
