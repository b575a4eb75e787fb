#include "platform/scoped_handle.h"
