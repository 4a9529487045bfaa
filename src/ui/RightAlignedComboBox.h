// A drop-down list whose choices read right-aligned, both in the closed box
// and in the open list, so that numbers such as "x 4" and "x 32" line up.
#pragma once

#include <QComboBox>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace gridmint {

class RightAlignedComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void addRightAlignedItem(const QString& text)
    {
        addItem(text);
        setItemData(count() - 1, int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter p(this);
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        opt.textAlignment = Qt::AlignRight | Qt::AlignVCenter;
        p.drawComplexControl(QStyle::CC_ComboBox, opt);
        p.drawControl(QStyle::CE_ComboBoxLabel, opt);
    }
};

} // namespace gridmint
