// The about box: program icon, name and version, OK.
#pragma once

#include <QDialog>

namespace gridmint {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

protected:
    // Opens centred on the parent's window.
    void showEvent(QShowEvent* event) override;
};

} // namespace gridmint
