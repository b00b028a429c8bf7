#include "UpdateFileInfoComponent.h"
