#include "ui/UiResources.h"

namespace gridmint {

void initUiResources() {}

} // namespace gridmint
