#pragma once

#include "OverlayPanel.h"
#include "ReleaseNotes.h"

/** The product's release notes, rendered from their markdown in a vertically
    scrolling area under the title "CHANGELOG - " and the product name. */
class panel_changelog : public OverlayPanel
{
public:
    panel_changelog (const juce::String& releaseNotes, const juce::String& productName);
    ~panel_changelog() override;

    void paint (juce::Graphics&) override;
    void paintOverChildren (juce::Graphics&) override;
    void focusOfChildComponentChanged (FocusChangeType) override;
    void resized() override;

    struct LaidOutBlock
    {
        BlockKind kind = BlockKind::Paragraph;
        juce::AttributedString text;
        float y = 0, height = 0, indent = 0;
    };

    /** The scrolled content: blocks styled and measured once per layout. */
    class ChangelogContent : public juce::Component
    {
    public:
        explicit ChangelogContent (const std::vector<MarkdownBlock>* source) : blockSource (source) {}
        ~ChangelogContent() override = default;

        void layoutBlocks (int width, float unit);
        void paint (juce::Graphics&) override;

        /** The notes as plain text, a block a line, for screen readers. */
        juce::String getPlainText() const;
        std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

        const std::vector<LaidOutBlock>& getLaidOut() const noexcept   { return laidOut; }

    private:
        const std::vector<MarkdownBlock>* blockSource;
        std::vector<LaidOutBlock> laidOut;
        int contentWidth = 0;
        float unit = 9.0f;
    };

    const ChangelogContent& getContent() const noexcept   { return content; }
    const juce::Viewport& getViewport() const noexcept    { return viewport; }

private:
    juce::String productName;
    std::vector<MarkdownBlock> blocks;
    ChangelogContent content { &blocks };
    juce::Viewport viewport;
};
