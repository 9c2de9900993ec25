#include "frame/settings.h"

DataSourceSettings dataSourceSettings;
GatherSettings gatherSettings;
