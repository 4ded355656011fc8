#include "sim_bus.h"
