#include "service/addresses/LocalAddressSource.h"
