#include "UpdateFileInfo.h"
