#include "ExportEngine.h"
