#include "UpdateFileLoadThread.h"
