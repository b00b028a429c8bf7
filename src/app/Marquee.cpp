#include "Marquee.h"
