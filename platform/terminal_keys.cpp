#include "platform/terminal_keys.h"
