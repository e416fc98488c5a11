// Where the exe's runtime ends the process at once (runtime_without_exceptions.cpp)
// meets the handler that SetFatalExitHandler recorded.
#pragma once

#include "platform/platform.h"

// The recorded handler, or nullptr; taken away, so that it is called once.
platform::FatalExitHandler TakeFatalExitHandler();
