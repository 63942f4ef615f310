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

    // The field has focus as the panel opens, but shows no caret until it is
    // used, by a key or a click: opened with the mouse, it looks as it did.
    licenceView.setCaretVisible (false);
    licenceView.addKeyListener (this);
    licenceView.addMouseListener (this, true);
}

bool panel_eula::keyPressed (const juce::KeyPress&, juce::Component*)
{
    licenceView.setCaretVisible (true);
    return false;
}

void panel_eula::mouseDown (const juce::MouseEvent& e)
{
    if (e.eventComponent == &licenceView || licenceView.isParentOf (e.eventComponent))
        licenceView.setCaretVisible (true);
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
