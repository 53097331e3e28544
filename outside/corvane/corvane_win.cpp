#include "corvane.h"
