#include "LabelFormat.h"
