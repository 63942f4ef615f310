#include "ReleaseNotes.h"

std::vector<MarkdownBlock> parseReleaseNotes (const juce::String& text)
{
    juce::StringArray lines;
    lines.addLines (text);

    std::vector<MarkdownBlock> blocks;
    bool started = false;

    static const std::pair<const char*, BlockKind> prefixes[] = {
        { "### ", BlockKind::Heading3 }, { "## ", BlockKind::Heading2 }, { "# ", BlockKind::Heading1 },
        { "- ", BlockKind::Bullet }, { "* ", BlockKind::Bullet },
    };

    for (const auto& line : lines)
    {
        const auto trimmed = line.trim();

        if (trimmed.isEmpty())
        {
            if (started && ! blocks.empty() && blocks.back().kind != BlockKind::Blank)
                blocks.push_back ({ BlockKind::Blank, {} });
            continue;
        }

        if (! started)
        {
            started = true;
            continue;
        }

        MarkdownBlock block { BlockKind::Paragraph, trimmed };
        for (auto [prefix, kind] : prefixes)
        {
            if (trimmed.startsWith (prefix))
            {
                block = { kind, trimmed.substring ((int) std::strlen (prefix)) };
                break;
            }
        }

        blocks.push_back (block);
    }

    return blocks;
}

void appendInlineSpans (juce::AttributedString& target, const juce::String& lineText,
                        const juce::Font& normalFont, const juce::Font& boldFont, const juce::Font& italicFont,
                        juce::Colour colour)
{
    juce::String pending;
    const auto flush = [&]
    {
        if (pending.isNotEmpty())
            target.append (pending, normalFont, colour);
        pending.clear();
    };

    const auto length = lineText.length();
    int i = 0;

    while (i < length)
    {
        if (i + 1 < length && lineText[i] == '*' && lineText[i + 1] == '*')
        {
            const auto j = lineText.indexOf (i + 2, "**");
            if (j > i + 2)
            {
                flush();
                target.append (lineText.substring (i + 2, j), boldFont, colour);
                i = j + 2;
                continue;
            }
        }

        if (lineText[i] == '*')
        {
            const auto j = lineText.indexOf (i + 1, "*");
            if (j > i + 1)
            {
                flush();
                target.append (lineText.substring (i + 1, j), italicFont, colour);
                i = j + 1;
                continue;
            }
        }

        pending += lineText[i];
        ++i;
    }

    flush();
}
