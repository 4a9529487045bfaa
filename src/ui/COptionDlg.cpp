#include "ui/COptionDlg.h"

#include "ui/RightAlignedComboBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <cmath>

namespace gridmint {

namespace {

// Placed in dialog units of the dialog's 8-point font, as drawn.
constexpr double kUnitX = 1.6;
constexpr double kUnitY = 1.7;
QRect du(int x, int y, int w, int h)
{
    return QRect(
        static_cast<int>(std::lround(x * kUnitX)), static_cast<int>(std::lround(y * kUnitY)),
        static_cast<int>(std::lround(w * kUnitX)), static_cast<int>(std::lround(h * kUnitY)));
}

// One less than the stored value's buffer: a longer folder would be saved and then
// refused at the next start.
constexpr int kFolderLimit = static_cast<int>(AppSettings::kMaxFolderLength);

// Height of the language row, in dialog units.
constexpr int kLanguageRow = 18;

std::function<QString(QWidget*)>& folderPicker()
{
    static std::function<QString(QWidget*)> picker;
    return picker;
}

QString browseForFolder(QWidget* owner)
{
    return QFileDialog::getExistingDirectory(owner, COptionDlg::tr("フォルダを選択してください。"),
                                             QString(), QFileDialog::ShowDirsOnly);
}

// A control's text may be wider than its place in dialog units when the
// font is not the one the dialog was drawn for; grow it rather than clip.
void placeWide(QWidget* w, const QRect& r)
{
    w->setGeometry(r.x(), r.y(), std::max(r.width(), w->sizeHint().width()),
                   std::max(r.height(), w->sizeHint().height()));
}

} // namespace

COptionDlg::COptionDlg(AppSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings)
{
    setWindowTitle(tr("設定"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    autoSave_ = new QCheckBox(tr("読込み拡大時に自動保存する"), this);
    placeWide(autoSave_, du(12, 6, 114, 10));
    reverseAct_ = new QCheckBox(tr("ACT読み込み時パレットを反転する"), this);
    placeWide(reverseAct_, du(12, 24, 125, 10));
    reversePal_ = new QCheckBox(tr("PAL読み込み時パレットを反転する"), this);
    placeWide(reversePal_, du(12, 42, 124, 10));

    const int right = std::max({autoSave_->geometry().right(), reverseAct_->geometry().right(),
                                reversePal_->geometry().right()}) +
                      12;
    const int shift = std::max(0, right - du(156, 0, 0, 0).x());

    auto* scaleLabel = new QLabel(tr("画像拡大率"), this);
    placeWide(scaleLabel, du(156, 6, 41, 8).translated(shift, 0));
    auto* scale = new RightAlignedComboBox(this);
    for (int f : kScaleFactors) {
        scale->addRightAlignedItem(QStringLiteral("x %1").arg(f));
    }
    scale_ = scale;
    placeWide(scale_, du(156, 18, 48, 12).translated(shift, 0));

    auto* transLabel = new QLabel(tr("透過色インデックス"), this);
    placeWide(transLabel, du(155, 35, 60, 8).translated(shift, 0));
    trans_ = new QComboBox(this);
    trans_->addItems({tr("0番"), tr("255番"), tr("なし")});
    placeWide(trans_, du(155, 47, 48, 12).translated(shift, 0));

    auto* folderLabel = new QLabel(tr("デフォルト保存先フォルダ"), this);
    placeWide(folderLabel, du(7, 73, 78, 8));
    auto* browse = new QPushButton(tr("参照..."), this);
    browse->setGeometry(du(165, 84, 50, 14).translated(shift, 0));
    folder_ = new QLineEdit(this);
    const QRect edit = du(7, 85, 155, 14);
    folder_->setGeometry(edit.x(), edit.y(), browse->x() - du(3, 0, 0, 0).x() - edit.x(),
                         edit.height());
    browse_ = browse;

    // The language row sits under the folder; the buttons move down by its
    // height. The choice is read once at start-up, and the note says so.
    auto* languageLabel = new QLabel(tr("表示言語"), this);
    placeWide(languageLabel, du(7, 107, 40, 8));
    language_ = new QComboBox(this);
    language_->addItems({tr("自動"), tr("日本語"), QStringLiteral("English")});
    placeWide(language_,
              QRect(languageLabel->geometry().right() + du(4, 0, 0, 0).x(), du(0, 105, 0, 0).y(),
                    du(60, 0, 0, 0).x(), du(0, 0, 0, 12).height()));
    auto* languageNote = new QLabel(tr("次回の起動時から有効になります"), this);
    placeWide(languageNote, QRect(language_->geometry().right() + du(4, 0, 0, 0).x(),
                                  du(0, 107, 0, 0).y(), 0, du(0, 0, 0, 8).height()));

    // The buttons move down by the cell-mode group as well.
    const int cellRows = buildCellGroup(du(0, 123, 0, 0).y()) - du(0, 123, 0, 0).y();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du(103, 111 + kLanguageRow, 50, 14).translated(shift, cellRows));
    ok->setDefault(true);
    ok_ = ok;
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setGeometry(du(157, 111 + kLanguageRow, 50, 14).translated(shift, cellRows));
    cancel_ = cancel;

    const QRect whole = du(0, 0, 222, 132 + kLanguageRow);
    int width = whole.width() + shift;
    for (const QWidget* w : {static_cast<QWidget*>(scaleLabel), static_cast<QWidget*>(transLabel),
                             static_cast<QWidget*>(languageNote), cellWidth_->parentWidget()}) {
        width = std::max(width, w->geometry().right() + du(7, 0, 0, 0).x());
    }
    setFixedSize(width, whole.height() + cellRows);
    // The group spans the dialog like the folder row above it.
    QWidget* cellGroup = cellWidth_->parentWidget();
    cellGroup->resize(width - cellGroup->x() - du(7, 0, 0, 0).x(), cellGroup->height());

    // Initial state from the settings.
    int scaleIndex = 0; // a factor the list does not offer shows as "x 2"
    for (int i = 0; i < static_cast<int>(std::size(kScaleFactors)); ++i) {
        if (kScaleFactors[i] == settings_.ImageScale) {
            scaleIndex = i;
        }
    }
    scale_->setCurrentIndex(scaleIndex);
    trans_->setCurrentIndex(settings_.TransColorIndex == -1    ? 2
                            : settings_.TransColorIndex == 255 ? 1
                                                               : 0);
    autoSave_->setChecked(settings_.IsAutoSave);
    reverseAct_->setChecked(settings_.IsReverseACT);
    reversePal_->setChecked(settings_.IsReversePAL);
    folder_->setMaxLength(kFolderLimit);
    folder_->setText(QString::fromStdString(settings_.DefaultSaveFolder));
    const std::int32_t language = settings_.Language;
    language_->setCurrentIndex(language >= AppSettings::kLanguageAuto &&
                                       language <= AppSettings::kLanguageEnglish
                                   ? language
                                   : AppSettings::kLanguageAuto);

    const QSignalBlocker blockWidth(cellWidth_);
    const QSignalBlocker blockHeight(cellHeight_);
    cellWidth_->setValue(settings_.CellWidth);
    cellHeight_->setValue(settings_.CellHeight);
    cellMargin_->setValue(settings_.CellMargin);
    cellSpacing_->setValue(settings_.CellSpacing);
    cellWrap_->setChecked(settings_.CellWrap);
    onCellSideChanged(cellWidth_, cellHeight_);

    connect(ok, &QPushButton::clicked, this, &COptionDlg::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &COptionDlg::onBrowse);
}

int COptionDlg::buildCellGroup(int top)
{
    auto* group = new QGroupBox(tr("セルモード (スプライトシート・タイルセット)"), this);
    auto* grid = new QGridLayout(group);
    auto spin = [group](int maximum) {
        auto* box = new QSpinBox(group);
        box->setRange(0, maximum);
        box->setAlignment(Qt::AlignRight);
        return box;
    };
    cellWidth_ = spin(CellLayout::kMaxCellSide);
    cellHeight_ = spin(CellLayout::kMaxCellSide);
    cellMargin_ = spin(CellLayout::kMaxGap);
    cellSpacing_ = spin(CellLayout::kMaxGap);
    for (QSpinBox* side : {cellWidth_, cellHeight_}) {
        side->setSpecialValueText(tr("オフ"));
    }
    for (QSpinBox* box : {cellWidth_, cellHeight_, cellMargin_, cellSpacing_}) {
        box->setSuffix(QStringLiteral(" px"));
    }
    cellWrap_ = new QCheckBox(tr("繰り返しタイルとしてつなげる"), group);
    grid->addWidget(new QLabel(tr("セル幅"), group), 0, 0);
    grid->addWidget(cellWidth_, 0, 1);
    grid->addWidget(new QLabel(tr("セル高さ"), group), 0, 2);
    grid->addWidget(cellHeight_, 0, 3);
    grid->addWidget(new QLabel(tr("余白"), group), 1, 0);
    grid->addWidget(cellMargin_, 1, 1);
    grid->addWidget(new QLabel(tr("間隔"), group), 1, 2);
    grid->addWidget(cellSpacing_, 1, 3);
    grid->addWidget(cellWrap_, 2, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    const QRect place = du(7, 0, 208, 0);
    group->setGeometry(place.x(), top, std::max(place.width(), group->sizeHint().width()),
                       group->sizeHint().height());

    connect(cellWidth_, &QSpinBox::valueChanged, this,
            [this] { onCellSideChanged(cellWidth_, cellHeight_); });
    connect(cellHeight_, &QSpinBox::valueChanged, this,
            [this] { onCellSideChanged(cellHeight_, cellWidth_); });
    return group->geometry().bottom() + 1;
}

void COptionDlg::onCellSideChanged(QSpinBox* changed, QSpinBox* other)
{
    {
        const QSignalBlocker block(other);
        if (changed->value() == 0) {
            other->setValue(0);
        } else if (other->value() == 0) {
            other->setValue(changed->value());
        }
    }
    const bool on = changed->value() > 0;
    cellMargin_->setEnabled(on);
    cellSpacing_->setEnabled(on);
    cellWrap_->setEnabled(on);
}

void COptionDlg::setFolderPicker(std::function<QString(QWidget*)> picker)
{
    folderPicker() = std::move(picker);
}

void COptionDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (QWidget* p = parentWidget()) {
        const QRect outer = p->window()->frameGeometry();
        move(outer.center() - rect().center());
    }
}

void COptionDlg::onOk()
{
    const int si = scale_->currentIndex();
    const int scale =
        si >= 0 && si < static_cast<int>(std::size(kScaleFactors)) ? kScaleFactors[si] : 2;
    const int ti = trans_->currentIndex();
    const int index = ti == 0 ? 0 : ti == 1 ? 255 : -1;
    const std::string folder = folder_->text().toStdString();

    // Only a real change ends with OK, so that the caller re-runs the
    // engine and saves the settings only then.
    bool changed = false;
    auto assign = [&changed](auto& field, const auto& value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    assign(settings_.IsAutoSave, autoSave_->isChecked());
    assign(settings_.IsReverseACT, reverseAct_->isChecked());
    assign(settings_.IsReversePAL, reversePal_->isChecked());
    assign(settings_.ImageScale, scale);
    assign(settings_.TransColorIndex, index);
    assign(settings_.DefaultSaveFolder, folder);
    // The combo's rows are the setting's values in order.
    assign(settings_.Language, std::max(language_->currentIndex(), AppSettings::kLanguageAuto));
    assign(settings_.CellWidth, static_cast<std::int32_t>(cellWidth_->value()));
    assign(settings_.CellHeight, static_cast<std::int32_t>(cellHeight_->value()));
    assign(settings_.CellMargin, static_cast<std::int32_t>(cellMargin_->value()));
    assign(settings_.CellSpacing, static_cast<std::int32_t>(cellSpacing_->value()));
    assign(settings_.CellWrap, cellWrap_->isChecked());
    done(changed ? QDialog::Accepted : QDialog::Rejected);
}

void COptionDlg::onBrowse()
{
    const QString chosen = folderPicker() ? folderPicker()(this) : browseForFolder(this);
    if (!chosen.isEmpty()) {
        folder_->setText(QDir::toNativeSeparators(chosen));
    }
}

} // namespace gridmint
