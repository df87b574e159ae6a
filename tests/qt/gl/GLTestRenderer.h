// The test renderer now lives with the Qt test support; this forward remains
// only until the threshold tests include it from there.
#include "support/qt/GLTestRenderer.h"
