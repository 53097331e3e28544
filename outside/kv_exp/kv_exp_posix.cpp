#include "kv_exp.h"
