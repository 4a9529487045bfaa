#include "ui/CTopPanelView.h"

#include "app/ToolMode.h"
#include "ui/RightAlignedComboBox.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <cmath>

namespace gridmint {

namespace {

// The panel was laid out in dialog units of its 8-point font; one unit is
// about one and a half pixels each way. Heights are then fitted into the
// 40-pixel strip.
constexpr double kUnit = 1.5;
int du(int units)
{
    return static_cast<int>(std::lround(units * kUnit));
}

constexpr int kZoomFactors[] = {1, 2, 4, 8, 12, 16, 32};
constexpr int kThicknessCount = 10;
constexpr int kStateSize = 24; // one state of a 96 x 24 button strip

// The strip's groups, left to right, as spans of dialog units: the tools,
// the thickness, the display zoom, the threshold and the re-apply button.
// A group keeps its controls together; when the panel is too narrow for
// them all the groups that do not fit move to another row.
struct GroupSpan {
    int from;
    int to;
};
constexpr GroupSpan kGroups[] = {{0, 150}, {195, 241}, {241, 281}, {281, 423}, {423, 473}};
constexpr int kGroupCount = CTopPanelView::kGroupCount;
static_assert(std::size(kGroups) == kGroupCount);
constexpr int kRowStart = 6; // dialog units before the first group of a row
constexpr int kRightMargin = 6;

int groupOf(int x)
{
    int group = 0;
    for (int g = 0; g < kGroupCount; ++g) {
        if (du(kGroups[g].from) <= x) {
            group = g;
        }
    }
    return group;
}

struct ToolInfo {
    int mode;
    const char* text; // the button's own caption, for accessibility
    const char* tip;
    const char* picture; // base name under :/gridmint/tools/
    int x;               // dialog units
    bool enablesThickness;
};

// In the strip's left-to-right order; the diagonal tool's button exists but
// stays hidden.
const ToolInfo kTools[] = {
    {ToolNearest, "近傍色", "ピクセルのニアレストネイバー拡大選択", "nearest", 6, true},
    {ToolAuto, "自動拡大", "ピクセルの自動拡大選択", "auto", 30, true},
    {ToolCorner, "角取り", "角取り処理", "corner", 54, false},
    {ToolDiagonalLine, "斜め線", "斜め線補正処理", "diagonal_line", 78, false},
    {ToolDot, "ドット打ち", "ドット打ち", "dot", 102, true},
    {ToolZoom, "拡大", "表示拡大", "zoom", 126, false},
    {ToolDiagonal, "斜め", "斜め補正処理", "diagonal", 150, false},
};

const ToolInfo* toolInfo(int mode)
{
    for (const ToolInfo& t : kTools) {
        if (t.mode == mode) {
            return &t;
        }
    }
    return nullptr;
}

} // namespace

// A button drawn entirely from a picture strip: normal, pushed, hover or
// focus, disabled. It keeps two strips and shows the active one while its
// tool is the current tool; it has no pressed state of its own.
class ToolBitmapButton : public QAbstractButton {
public:
    ToolBitmapButton(const QString& normalStrip, const QString& activeStrip, QWidget* parent)
        : QAbstractButton(parent), normal_(normalStrip), active_(activeStrip)
    {
        setAttribute(Qt::WA_Hover);
        setFocusPolicy(Qt::TabFocus);
        setFixedSize(kStateSize, kStateSize);
    }

    void setActive(bool active)
    {
        active_on_ = active;
        repaint();
    }
    bool isActive() const { return active_on_; }

    // 0 normal, 1 pushed, 2 hover or focus, 3 disabled.
    int state() const
    {
        if (!isEnabled()) {
            return 3;
        }
        if (isDown()) {
            return 1;
        }
        if (underMouse() || hasFocus()) {
            return 2;
        }
        return 0;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QPixmap& strip = active_on_ ? active_ : normal_;
        p.drawPixmap(0, 0, strip, state() * kStateSize, 0, kStateSize, kStateSize);
    }
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::HoverEnter || e->type() == QEvent::HoverLeave) {
            update();
        }
        return QAbstractButton::event(e);
    }

private:
    QPixmap normal_;
    QPixmap active_;
    bool active_on_ = false;
};

CTopPanelView::CTopPanelView(AppSettings& settings, std::function<void()> saveSettings,
                             QWidget* parent)
    : QWidget(parent), settings_(settings), saveSettings_(std::move(saveSettings)),
      toolMode_(ToolAuto)
{
    const int labelHeight = fontMetrics().height();

    for (const ToolInfo& t : kTools) {
        const QString base = QStringLiteral(":/gridmint/tools/") + QLatin1String(t.picture);
        auto* b = new ToolBitmapButton(base + QStringLiteral(".png"),
                                       base + QStringLiteral("_active.png"), this);
        b->setText(QString::fromUtf8(t.text));
        b->setToolTip(QString::fromUtf8(t.tip));
        b->move(du(t.x), du(6));
        const int mode = t.mode;
        connect(b, &QAbstractButton::clicked, this, [this, mode] { onToolPressed(mode); });
        toolButtons_[static_cast<std::size_t>(mode)] = b;
    }
    toolButtons_[ToolDiagonal]->hide();

    thicknessLabel_ = new QLabel(QStringLiteral("太さ"), this);
    thicknessLabel_->setGeometry(du(212), du(3) - 2, du(24), labelHeight);
    thicknessCombo_ = new QComboBox(this);
    const QPixmap icons(QStringLiteral(":/gridmint/thickness.png"));
    thicknessCombo_->setIconSize(QSize(16, 16));
    for (int i = 0; i < kThicknessCount; ++i) {
        thicknessCombo_->addItem(QIcon(icons.copy(16 * i, 0, 16, 16)), QString::number(i + 1));
    }
    thicknessCombo_->setCurrentIndex(0);

    zoomLabel_ = new QLabel(QStringLiteral("表示拡大率"), this);
    zoomLabel_->setGeometry(du(241), du(2) - 2, du(50), labelHeight);
    auto* zoom = new RightAlignedComboBox(this);
    for (int z : kZoomFactors) {
        zoom->addRightAlignedItem(QStringLiteral("x %1").arg(z));
    }
    zoomCombo_ = zoom;
    zoomCombo_->setCurrentIndex(0);

    thresholdLabel_ = new QLabel(this);
    thresholdLabel_->setGeometry(du(285), du(3) - 2, du(95), labelHeight);
    thresholdSlider_ = new QSlider(Qt::Horizontal, this);
    thresholdSlider_->setRange(0, 100);
    thresholdSlider_->setTickPosition(QSlider::NoTicks);
    thresholdSlider_->setTracking(true);

    reapplyButton_ = new QPushButton(QStringLiteral("再適用"), this);
    reapplyButton_->setGeometry(du(423), du(5), du(50), kHeight - du(5) - 3);

    // Combo boxes and the slider keep their natural height and sit on the
    // strip's lower part, as far down as their dialog-unit places allow.
    const int comboTop = du(11);
    const int comboHeight = std::min(thicknessCombo_->sizeHint().height(), kHeight - comboTop - 1);
    thicknessCombo_->setGeometry(du(195), comboTop, du(43), comboHeight);
    zoomCombo_->setGeometry(du(242), comboTop, du(36), comboHeight);
    const int sliderTop = du(12);
    thresholdSlider_->setGeometry(du(281), sliderTop, du(140), kHeight - sliderTop);

    const std::uint32_t stored = settings_.NearestColorThreshold;
    thresholdSlider_->setValue(stored <= 100 ? static_cast<int>(stored) : 20);
    onThresholdMoved(thresholdSlider_->value(), false);

    connect(thresholdSlider_, &QSlider::valueChanged, this,
            [this](int value) { onThresholdMoved(value, true); });
    connect(zoomCombo_, &QComboBox::currentIndexChanged, this, [this] {
        if (!settingZoom_) {
            emit UWM_ZOOM_SELECTED();
        }
    });
    connect(reapplyButton_, &QAbstractButton::clicked, this, [this] { emit UWM_REAPPLY(); });

    updateToolImages();
    updateThicknessControls();

    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        placed_.push_back({child, child->geometry(), groupOf(child->x())});
    }
    setFixedHeight(kHeight);
}

QSize CTopPanelView::sizeHint() const
{
    return {du(619), kHeight};
}

QSize CTopPanelView::minimumSizeHint() const
{
    int widest = 0;
    for (const GroupSpan& g : kGroups) {
        widest = std::max(widest, du(g.to - g.from));
    }
    return {du(kRowStart) + widest + du(kRightMargin), kHeight};
}

int CTopPanelView::rowsForWidth(int width) const
{
    std::array<int, kGroupCount> shift{};
    std::array<int, kGroupCount> row{};
    arrange(width, shift, row);
    return row.back() + 1;
}

void CTopPanelView::arrange(int width, std::array<int, kGroupCount>& shift,
                            std::array<int, kGroupCount>& row)
{
    // Every row starts like the first one does; inside a row the groups keep
    // the gaps they have on a wide strip.
    int rowIndex = 0;
    int rowShift = 0;
    for (int g = 0; g < kGroupCount; ++g) {
        const bool rowHasGroups = g > 0 && row[static_cast<std::size_t>(g - 1)] == rowIndex;
        if (rowHasGroups && du(kGroups[g].to) - rowShift + du(kRightMargin) > width) {
            ++rowIndex;
            rowShift = du(kGroups[g].from) - du(kRowStart);
        } else if (g == 0) {
            rowShift = 0;
        }
        shift[static_cast<std::size_t>(g)] = rowShift;
        row[static_cast<std::size_t>(g)] = rowIndex;
    }
}

void CTopPanelView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    std::array<int, kGroupCount> shift{};
    std::array<int, kGroupCount> row{};
    arrange(width(), shift, row);
    for (const Placed& p : placed_) {
        const auto g = static_cast<std::size_t>(p.group);
        p.widget->setGeometry(p.original.translated(-shift[g], row[g] * kHeight));
    }
    // The height follows the rows; the width never depends on it, so this
    // settles after one more resize.
    const int height = (row.back() + 1) * kHeight;
    if (height != this->height()) {
        setFixedHeight(height);
    }
}

int CTopPanelView::toolMode() const
{
    return toolMode_;
}

int CTopPanelView::GetZoom() const
{
    const int i = zoomCombo_->currentIndex();
    if (i < 0 || i >= static_cast<int>(std::size(kZoomFactors))) {
        return 1;
    }
    return kZoomFactors[i];
}

bool CTopPanelView::stepZoom(int direction)
{
    if (direction != 1 && direction != -1) {
        return false;
    }
    const int next = zoomCombo_->currentIndex() + direction;
    if (next < 0 || next >= zoomCombo_->count()) {
        return false;
    }
    settingZoom_ = true;
    zoomCombo_->setCurrentIndex(next);
    settingZoom_ = false;
    return true;
}

int CTopPanelView::threshold() const
{
    return thresholdSlider_->value();
}

int CTopPanelView::thickness() const
{
    return thicknessCombo_->currentIndex() + 1;
}

QAbstractButton* CTopPanelView::toolButton(int mode) const
{
    if (mode < 0 || mode >= kToolCount) {
        return nullptr;
    }
    return toolButtons_[static_cast<std::size_t>(mode)];
}

QAbstractButton* CTopPanelView::reapplyButton() const
{
    return reapplyButton_;
}

QString CTopPanelView::thresholdText(int value)
{
    return QStringLiteral("近似色判定閾値 : %1").arg(value, 3);
}

void CTopPanelView::onToolPressed(int mode)
{
    // The frame hears of the new tool before the pictures change, and
    // pressing the current tool again repeats everything.
    toolMode_ = mode;
    emit UWM_TOOL_CHANGED();
    updateToolImages();
    updateThicknessControls();
}

void CTopPanelView::onThresholdMoved(int value, bool notify)
{
    thresholdLabel_->setText(thresholdText(value));
    if (value >= 0 && value <= 100) {
        settings_.NearestColorThreshold = static_cast<std::uint32_t>(value);
    }
    if (saveSettings_) {
        saveSettings_();
    }
    if (notify) {
        emit UWM_THRESHOLD_CHANGED();
    }
}

void CTopPanelView::updateToolImages()
{
    for (ToolBitmapButton* b : toolButtons_) {
        b->setActive(b == toolButtons_[static_cast<std::size_t>(toolMode_)]);
    }
}

void CTopPanelView::updateThicknessControls()
{
    const ToolInfo* t = toolInfo(toolMode_);
    const bool on = t != nullptr && t->enablesThickness;
    thicknessLabel_->setEnabled(on);
    thicknessCombo_->setEnabled(on);
}

} // namespace gridmint
