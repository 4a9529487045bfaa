#include "ui/UiResources.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE declares a function in the global namespace, so it must be
// expanded outside ours.
static void initGridmintQrc()
{
    Q_INIT_RESOURCE(gridmint);
}

namespace gridmint {

void initUiResources()
{
    initGridmintQrc();
}

} // namespace gridmint
