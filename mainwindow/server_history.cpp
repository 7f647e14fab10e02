#include "server_history.h"
