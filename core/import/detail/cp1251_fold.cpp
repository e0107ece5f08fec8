#include "import/detail/cp1251_fold.h"
