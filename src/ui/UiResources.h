// The pictures compiled into the GUI library (res/gridmint.qrc, prefix
// /gridmint). A static library's resources must be registered explicitly:
// the program and every GUI test call this once before using them.
#pragma once

namespace gridmint {

void initUiResources();

} // namespace gridmint
