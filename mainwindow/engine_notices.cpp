#include "engine_notices.h"
