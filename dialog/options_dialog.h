// The CSP provider's options dialog (template 141).
#pragma once

#include <cstdint>

#include "bootstrap/command_line.h"
#include "platform/platform.h"

// Runs the dialog; returns when "Далее" was pressed, after appending the level
// and language chosen to options. Cancelling ends the process with exit 0.
void ShowOptionsDialog(BootstrapOptions& options);
