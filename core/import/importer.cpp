#include "import/importer.h"
