#include "DeviceInfoComponent.h"
