#include "Application.h"

START_JUCE_APPLICATION (tsr_installerApplication)
