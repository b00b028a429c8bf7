#include "UpdateFileLoader.h"
