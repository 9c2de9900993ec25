#include "browse/browse_ui.h"

namespace {
BrowseUi* browseUi = nullptr;
}

void SetBrowseUi(BrowseUi* ui) { browseUi = ui; }
BrowseUi* GetBrowseUi() { return browseUi; }
