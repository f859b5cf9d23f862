#pragma once
// The About box, opened from the setup dialog.

#include "resources/resource.h"

// The caption of the About box's web button and the address the button opens.
constexpr const char* AboutWebAddress = FV_WEB_ADDRESS;
