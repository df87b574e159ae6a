#include "gl/TintState.h"

TintState gTintState;
