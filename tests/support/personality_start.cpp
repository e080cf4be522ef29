// Linked into each test program: the personality the environment asks for is in place
// before the first case runs.
#include "support/fault_injection.h"
static const int Installed = (InstallPersonality(), 1);
