#include "service/PublicAddressSource.h"
