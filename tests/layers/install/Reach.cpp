// A lower layer reaching up: the layer check must name this line.
#include "Outcome.h"
#include "../ui/Screen.h"
