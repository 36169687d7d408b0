#include <windows.h>

#include "lister/lister.h"
