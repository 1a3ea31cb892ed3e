// The automation layer: types, interfaces, task memory and class creation.
#pragma once

#include "platform/automation/com.h"
#include "platform/automation/com_ptr.h"
#include "platform/automation/interfaces.h"
#include "platform/automation/variant.h"
#include "platform/automation/wintypes.h"
