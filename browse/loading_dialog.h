// The desktop's side of the browse: dialog 117 "Loading, please wait..." and the wait cursor.
#pragma once

#include "browse/browse_ui.h"

BrowseUi* DesktopBrowseUi();
