#include "Odbc.h"
