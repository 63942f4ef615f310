#pragma once

#include "OverlayPanel.h"

/** The licence agreement in a scrolling text field. Reading and closing are all
    it offers; edits live only in this panel's field. */
class panel_eula : public OverlayPanel
{
public:
    explicit panel_eula (juce::String licence);
    ~panel_eula() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    juce::TextEditor& getLicenceView() noexcept   { return licenceView; }

private:
    juce::TextEditor licenceView;
};
