#include "bootstrap/prerequisites.h"
// Being written.
int CheckWindowsVersion(bool) { return 0; }
