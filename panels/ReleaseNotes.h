#pragma once

#include <juce_graphics/juce_graphics.h>
#include <vector>

/** The small markdown subset of the release notes: three heading levels,
    bullets, paragraphs, blank-line spacing, and bold and italic inside a line. */
enum class BlockKind
{
    Heading1,
    Heading2,
    Heading3,
    Paragraph,
    Bullet,
    Blank
};

struct MarkdownBlock
{
    BlockKind kind = BlockKind::Paragraph;
    juce::String text;
};

/** One block per non-blank line, runs of blank lines collapsed into one Blank.
    The first non-blank line is the file's own title and is dropped. */
std::vector<MarkdownBlock> parseReleaseNotes (const juce::String& text);

/** Appends one line's styled spans: **bold**, *italic*, the rest plain. Markers
    without a partner, and empty pairs, are shown as they are. */
void appendInlineSpans (juce::AttributedString& target, const juce::String& lineText,
                        const juce::Font& normalFont, const juce::Font& boldFont, const juce::Font& italicFont,
                        juce::Colour colour);
