#include "UpdateExecutor.h"
