#include <gtest/gtest.h>

#include "platform/terminal_keys.h"
