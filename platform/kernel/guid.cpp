#include "platform/base.h"
