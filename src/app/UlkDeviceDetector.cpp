#include "UlkDeviceDetector.h"
