#include "GridSource.h"
