#include "service/LocalAddressSource.h"
