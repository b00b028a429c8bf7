#include "ConnectionIcon.h"
