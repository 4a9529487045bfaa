#include "engine/ScaleJob.h"
