// A tree that breaks the layers, for the layer check's own test.
#include "screens/board/homeactivity.h"
