#include <windows.h>

#include "autoclick/autoclick.h"
