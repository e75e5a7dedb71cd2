#include "toolkit/ShellActions.h"

ShellActions::~ShellActions() = default;
