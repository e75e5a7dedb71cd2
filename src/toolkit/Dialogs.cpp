#include "toolkit/Dialogs.h"

Dialogs::~Dialogs() = default;
