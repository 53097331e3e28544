#include "plinth32.h"
