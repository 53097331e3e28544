#include "tarnwick.h"
