#include "service/addresses/PublicAddressSource.h"
