// Corvane's Settings dialog (dialog 112, "Corvane Settings") and the desktop's dialog 115.
#pragma once

#include "platform/core/win32.h"
#include "store/data_source.h"

// Modal over `owner`: the gather settings and the data-source manager's button. OK writes all
// settings; Cancel writes nothing.
void SettingsDialog(HWND owner);

// "Corvane / Preparing Data Source...", for CreateDataSource (bind with SetDataSourceUi).
DataSourceUi* DesktopDataSourceUi();
