#include "app/ScaleDocument.h"
