#pragma once

#include "output.h"

#include "outputs/reading_records.h"
