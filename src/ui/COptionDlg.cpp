#include "ui/COptionDlg.h"

namespace gridmint {

COptionDlg::COptionDlg(AppSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings)
{
}

void COptionDlg::setFolderPicker(std::function<QString(QWidget*)>) {}
void COptionDlg::onOk() {}
void COptionDlg::onBrowse() {}

} // namespace gridmint
