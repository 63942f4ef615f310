#include "SettingsText.h"
#include <cctype>

namespace SettingsText
{
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

            // "&;" and "&#;" name nothing: only "#" with digits is a character.
            if (name.size() < 2 || name[0] != '#')
                return false;

            const bool hex = name.size() > 2 && name.substr (0, 2) == "#x";
            const auto digits = name.substr (hex ? 2 : 1);

            return ! digits.empty() && digits.size() <= 8
                    && std::all_of (digits.begin(), digits.end(), [hex] (char c)
                                    { return (c >= '0' && c <= '9') || (hex && std::isxdigit ((unsigned char) c)); });
        }
    }

    // Scanned without recursion, so that no nesting can exhaust the stack,
    // and before the framework's parser, which follows DTDs and recurses into
    // elements without limit.
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
                else if (rest.rfind ("<?", 0) == 0)
                {
                    if (! skipPast ("?>"))
                        return false;
                }
                else if (rest.rfind ("<!", 0) == 0)        return false;   // DOCTYPE, ENTITY and every other declaration
                else if (rest.rfind ("</", 0) == 0)        { inTag = true; closingTag = true; }
                else
                {
                    // Once inside an element, the framework's parser goes
                    // round for ever on an instruction followed by text, and
                    // it can find itself inside one where this scan does not:
                    // it takes a tag with a character it does not expect for
                    // ended there, and reads the rest, quotes and all, as
                    // text. No instruction may follow the root's start at all.
                    if (depth == 0 && (++roots > 1 || text.find ("<?", i) != std::string_view::npos))
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
}
