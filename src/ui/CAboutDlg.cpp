#include "ui/CAboutDlg.h"

namespace gridmint {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {}

} // namespace gridmint
