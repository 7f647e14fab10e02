#include "main_settings.h"
