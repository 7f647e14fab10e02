#include "about_box.h"
