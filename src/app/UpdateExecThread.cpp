#include "UpdateExecThread.h"
