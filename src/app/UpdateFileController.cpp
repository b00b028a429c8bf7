#include "UpdateFileController.h"
