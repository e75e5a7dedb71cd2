#include "helpers/PublicAddressSource.h"
