#include "panel_changelog.h"
#include "../look/Palette.h"

namespace
{
    struct BlockStyle
    {
        float height;
        int normal, bold, italic;            // font style flags
        juce::Colour colour;
        float before, after, indent;         // in units
    };

    BlockStyle styleFor (BlockKind kind)
    {
        using F = juce::Font;
        switch (kind)
        {
            case BlockKind::Heading1: return { 5.0f, F::bold, F::bold, F::bold | F::italic, Palette::offWhite, 1.5f, 0.6f, 0.0f };
            case BlockKind::Heading2: return { 4.0f, F::bold, F::bold, F::bold | F::italic, Palette::offWhite, 1.0f, 0.5f, 0.0f };
            case BlockKind::Heading3: return { 3.5f, F::bold, F::bold, F::bold | F::italic, Palette::offWhite, 0.8f, 0.4f, 0.0f };
            case BlockKind::Bullet:   return { 3.0f, F::plain, F::bold, F::italic, Palette::warmGrey, 0.0f, 0.3f, 4.0f };
            case BlockKind::Paragraph:
            case BlockKind::Blank:    break;
        }

        return { 3.0f, F::plain, F::bold, F::italic, Palette::warmGrey, 0.0f, 0.3f, 0.0f };
    }
}

void panel_changelog::ChangelogContent::layoutBlocks (int width, float u)
{
    contentWidth = width;
    unit = u;
    laidOut.clear();
    float y = u;

    for (const auto& block : *blockSource)
    {
        if (block.kind == BlockKind::Blank)
        {
            laidOut.push_back ({ BlockKind::Blank, {}, y, 1.5f * u, 0.0f });
            y += 1.5f * u;
            continue;
        }

        const auto style = styleFor (block.kind);
        const auto height = style.height * u, indent = style.indent * u;
        juce::AttributedString text;
        text.setJustification (juce::Justification::topLeft);
        text.setWordWrap (juce::AttributedString::byWord);
        appendInlineSpans (text, block.text, juce::Font (height, style.normal), juce::Font (height, style.bold),
                           juce::Font (height, style.italic), style.colour);

        juce::TextLayout layout;
        layout.createLayout (text, (float) contentWidth - indent - u);
        const auto measured = layout.getHeight();

        laidOut.push_back ({ block.kind, text, y + style.before * u, measured, indent });
        y += style.before * u + measured + style.after * u;
    }

    setBounds (getX(), getY(), contentWidth, juce::roundToInt (y + u));
}

void panel_changelog::ChangelogContent::paint (juce::Graphics& g)
{
    const auto u = unit;

    for (const auto& block : laidOut)
    {
        if (block.kind == BlockKind::Blank)
            continue;

        if (block.kind == BlockKind::Bullet)
        {
            g.setColour (Palette::warmGrey);
            g.setFont (juce::Font (3.0f * u, juce::Font::bold));
            g.drawText (juce::String::charToString ((juce::juce_wchar) 0x2022),
                        juce::Rectangle<float> (0.5f * u, block.y, 3.0f * u, 3.5f * u).toNearestInt(),
                        juce::Justification::topLeft, false);
        }

        block.text.draw (g, { block.indent, block.y, (float) contentWidth - block.indent - u, block.height + u });
    }
}

juce::String panel_changelog::ChangelogContent::getPlainText() const
{
    juce::StringArray lines;

    for (const auto& block : laidOut)
        if (block.kind != BlockKind::Blank)
            lines.add ((block.kind == BlockKind::Bullet ? juce::String::charToString ((juce::juce_wchar) 0x2022) + " " : juce::String())
                       + block.text.getText());

    return lines.joinIntoString ("\n");
}

namespace
{
    /** The notes as text a screen reader can read through, line by line. */
    class NotesText : public juce::AccessibilityTextInterface
    {
    public:
        explicit NotesText (const panel_changelog::ChangelogContent& c) : content (c) {}

        bool isDisplayingProtectedText() const override          { return false; }
        bool isReadOnly() const override                         { return true; }
        int getTotalNumCharacters() const override               { return content.getPlainText().length(); }
        juce::Range<int> getSelection() const override           { return {}; }
        void setSelection (juce::Range<int>) override            {}
        int getTextInsertionOffset() const override              { return 0; }
        juce::String getText (juce::Range<int> r) const override { return content.getPlainText().substring (r.getStart(), r.getEnd()); }
        void setText (const juce::String&) override              {}
        int getOffsetAtPoint (juce::Point<int>) const override   { return 0; }

        juce::RectangleList<int> getTextBounds (juce::Range<int>) const override
        {
            return { content.getScreenBounds() };
        }

    private:
        const panel_changelog::ChangelogContent& content;
    };
}

std::unique_ptr<juce::AccessibilityHandler> panel_changelog::ChangelogContent::createAccessibilityHandler()
{
    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::staticText, juce::AccessibilityActions(),
                                                         juce::AccessibilityHandler::Interfaces { std::make_unique<NotesText> (*this) });
}

//==============================================================================
panel_changelog::panel_changelog (const juce::String& releaseNotes, const juce::String& name)
    : OverlayPanel ("CHANGELOG - " + name.toUpperCase()), productName (name), blocks (parseReleaseNotes (releaseNotes))
{
    // The notes take focus, so the keys that scroll them (arrows, pages) reach
    // the viewport. Their ring goes round the viewport, drawn by the panel:
    // one of their own would be clipped inside it, over the text.
    content.setTitle ("Release notes");
    content.setWantsKeyboardFocus (true);
    addFocusable (viewport);
    viewport.setWantsKeyboardFocus (false);
    viewport.setViewedComponent (&content, false);
    viewport.setScrollBarsShown (true, false, false, false);
}

panel_changelog::~panel_changelog() = default;

void panel_changelog::paint (juce::Graphics& g)
{
    paintFrame (g, getTitle());
}

void panel_changelog::paintOverChildren (juce::Graphics& g)
{
    if (content.hasKeyboardFocus (false) && FocusRing::isShown())
        FocusRing::draw (g, viewport.getBounds().expanded (FocusRing::gap + FocusRing::thickness));
}

void panel_changelog::focusOfChildComponentChanged (FocusChangeType)
{
    repaint();
}

void panel_changelog::resized()
{
    viewport.setBounds (unitBounds (4.0f, 12.0f, 92.0f, 80.0f));
    content.layoutBlocks (viewport.getMaximumVisibleWidth(), unit);
    layoutCloseButton();
}
