#include "import/package_writer.h"
