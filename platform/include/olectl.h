#pragma once

#include "winerror.h"
