#include "dialog/options_dialog.h"
// Being written.
void ShowOptionsDialog(BootstrapOptions&) {}
