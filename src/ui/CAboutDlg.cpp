#include "ui/CAboutDlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef GRIDMINT_VERSION
#define GRIDMINT_VERSION "0.0.0"
#endif

namespace gridmint {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("バージョン情報"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/gridmint/icon.png")));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* box = new QGroupBox(this);
    auto* text = new QLabel(
        tr("Gridmint バージョン %1\n\nドット絵拡大ツール").arg(QStringLiteral(GRIDMINT_VERSION)),
        box);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(text);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(box, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(280, 0)));
}

void CAboutDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QWidget* p = parentWidget()) {
        const QRect outer = p->window()->frameGeometry();
        move(outer.center() - rect().center());
    }
}

} // namespace gridmint
