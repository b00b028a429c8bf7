#include "CRC32.h"
