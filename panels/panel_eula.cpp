#include "panel_eula.h"
#include "../look/Palette.h"

panel_eula::panel_eula (juce::String licence)
    : OverlayPanel ("LICENSE AGREEMENT")
{
    addFocusable (licenceView);
    licenceView.setTitle ("License agreement");
    licenceView.setMultiLine (true, true);
    licenceView.setText (licence);
    licenceView.applyColourToAllText (Palette::warmGrey);
    licenceView.setColour (juce::TextEditor::outlineColourId, Palette::nearBlack);
    licenceView.setColour (juce::TextEditor::focusedOutlineColourId, Palette::nearBlack);
    licenceView.setHasFocusOutline (true);
}

panel_eula::~panel_eula() = default;

void panel_eula::paint (juce::Graphics& g)
{
    paintFrame (g, "LICENSE AGREEMENT");
}

void panel_eula::resized()
{
    licenceView.setBounds (unitBounds (4.0f, 12.0f, 92.0f, 80.0f));
    layoutCloseButton();
}
