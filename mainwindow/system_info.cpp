#include "system_info.h"
