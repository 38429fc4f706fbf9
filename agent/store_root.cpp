#include "agent/store_root.h"

char* gv_storeRoot = nullptr;
