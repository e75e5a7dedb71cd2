#pragma once

// The public-address check's contract, which the echo helper shares.
#include "helpers/EchoCheckReport.h"
