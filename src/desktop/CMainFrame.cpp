#include "desktop/CMainFrame.h"

#include "app/SaveNaming.h"
#include "app/StatusText.h"
#include "app/ToolMode.h"
#include "desktop/AppSettingsStore.h"
#include "image/Codecs.h"
#include "image/ErrCodeException.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <system_error>

#ifndef GRIDMINT_DOWNLOAD_URL
#define GRIDMINT_DOWNLOAD_URL "https://gridmint.example.org/download"
#endif

namespace gridmint {

namespace {

constexpr int kPalettePaneWidth = 246;
// How long the threshold slider must rest before its value is written out.
constexpr int kSettingsSaveDelayMs = 300;

std::filesystem::path toPath(const QString& text)
{
    return std::filesystem::path(text.toStdU16String());
}

QString toQString(const std::filesystem::path& path)
{
    return QString::fromStdU16String(path.u16string());
}

// The settings keep the folder as UTF-8 whatever the platform's path encoding.
std::filesystem::path folderPath(const std::string& utf8)
{
    return toPath(QString::fromStdString(utf8));
}

QString imageNotReadText()
{
    return QStringLiteral("画像が読み込めませんでした");
}

} // namespace

CMainFrame::CMainFrame(AppSettings& settings, std::unique_ptr<UserDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), settings_(settings),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<UserDialogs>()),
      document_(std::make_unique<ScaleDocument>())
{
    setWindowTitle(QStringLiteral("Gridmint"));
    setWindowIcon(QIcon(QStringLiteral(":/gridmint/icon.png")));
    setAcceptDrops(true);

    thresholdTimer_.setSingleShot(true);
    thresholdTimer_.setInterval(0);
    connect(&thresholdTimer_, &QTimer::timeout, this, &CMainFrame::applyPendingThreshold);
    settingsSaveTimer_.setSingleShot(true);
    settingsSaveTimer_.setInterval(kSettingsSaveDelayMs);
    connect(&settingsSaveTimer_, &QTimer::timeout, this, [this] { SaveSettings(settings_); });

    buildMenus();
    buildLayout();
    connectChildren();
    resize(1024, 720);
}

CMainFrame::~CMainFrame()
{
    flushSettingsSave();
    // The view holds a plain pointer into the document's result; make sure
    // nothing can paint it once the document is gone.
    view_->setDisplayedBitmap(nullptr);
}

QString CMainFrame::errorCaption()
{
    return QStringLiteral("エラー");
}

QString CMainFrame::fileFilter()
{
    return QStringLiteral("PNGファイル (*.png);;BMPファイル (*.bmp);;PCXファイル (*.pcx);;"
                          "すべてのファイル (*.*)");
}

void CMainFrame::buildMenus()
{
    auto add = [](QMenu* menu, const QString& caption, const QString& prompt) {
        QAction* action = menu->addAction(caption);
        action->setStatusTip(prompt);
        return action;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    openAction_ =
        add(file, QStringLiteral("開く(&O)...\tCtrl+O"), QStringLiteral("既存のファイルを開く"));
    openAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveAction_ =
        add(file, QStringLiteral("上書き保存(&S)\tCtrl+S"), QStringLiteral("上書き保存する"));
    saveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    saveAsAction_ = add(file, QStringLiteral("名前をつけて保存(&A)..."),
                        QStringLiteral("新たに名前をつけて保存する"));
    file->addSeparator();
    exitAction_ = add(file, QStringLiteral("終了(&x)"),
                      QStringLiteral("アプリケーション終了; prompts to save documents"));

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    undoAction_ =
        add(edit, QStringLiteral("元に戻す(&U)\tCtrl+Z"), QStringLiteral("直前の動作を元に戻す"));
    undoAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)});
    edit->addSeparator();
    settingsAction_ = add(edit, QStringLiteral("設定(&O)"), QString());

    QMenu* show = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    gridAction_ = add(show, QStringLiteral("グリッド表示(&G)"),
                      QStringLiteral("グリッドを表示/非表示します"));
    statusBarAction_ = add(show, QStringLiteral("ステータスバー表示(&S)"),
                           QStringLiteral("ステータスバーを表示/非表示します"));
    paletteAction_ = add(show, QStringLiteral("パレット表示(&P)"),
                         QStringLiteral("パレットを表示/非表示します"));
    for (QAction* action : {gridAction_, statusBarAction_, paletteAction_}) {
        action->setCheckable(true);
        action->setChecked(true);
    }

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    helpAction_ = add(help, QStringLiteral("ヘルプ(&H)"), QString());
    downloadAction_ = add(help, QStringLiteral("ダウンロードページを開く(&D)"), QString());
    aboutAction_ = add(help, QStringLiteral("Gridmint について(&A)"),
                       QStringLiteral("情報表示, バージョン番号およびコピーライト"));

    connect(openAction_, &QAction::triggered, this, &CMainFrame::OnFileOpen);
    connect(saveAction_, &QAction::triggered, this, &CMainFrame::OnFileSave);
    connect(saveAsAction_, &QAction::triggered, this, &CMainFrame::OnFileSaveAs);
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(undoAction_, &QAction::triggered, this, &CMainFrame::OnUndo);
    connect(settingsAction_, &QAction::triggered, this, &CMainFrame::OnSettings);
    connect(gridAction_, &QAction::triggered, this, &CMainFrame::toggleGrid);
    connect(statusBarAction_, &QAction::triggered, this, &CMainFrame::toggleStatusBar);
    connect(paletteAction_, &QAction::triggered, this, &CMainFrame::togglePalettePane);
    connect(helpAction_, &QAction::triggered, this, &CMainFrame::OnHelp);
    connect(downloadAction_, &QAction::triggered, this, &CMainFrame::OnDownloadPage);
    connect(aboutAction_, &QAction::triggered, this, &CMainFrame::OnAbout);
}

void CMainFrame::buildLayout()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    panel_ = new CTopPanelView(
        settings_, [this] { scheduleSettingsSave(); }, central);
    panel_->setFixedHeight(CTopPanelView::kHeight);
    column->addWidget(panel_);

    splitter_ = new QSplitter(Qt::Horizontal, central);
    splitter_->setChildrenCollapsible(false);
    splitter_->setHandleWidth(0);
    column->addWidget(splitter_, 1);

    view_ = new CGridmintView(splitter_);
    view_->setFrameShape(QFrame::StyledPanel);
    view_->setFrameShadow(QFrame::Sunken);

    // The palette pane sits in a titled container with its own close button.
    paletteContainer_ = new QWidget(splitter_);
    auto* paneColumn = new QVBoxLayout(paletteContainer_);
    paneColumn->setContentsMargins(0, 0, 0, 0);
    paneColumn->setSpacing(0);
    auto* header = new QWidget(paletteContainer_);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(4, 1, 1, 1);
    headerRow->setSpacing(2);
    headerRow->addWidget(new QLabel(QStringLiteral("パレット"), header), 1);
    paletteClose_ = new QToolButton(header);
    paletteClose_->setAutoRaise(true);
    paletteClose_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    paletteClose_->setIconSize(QSize(12, 12));
    paletteClose_->setToolTip(QStringLiteral("閉じる"));
    headerRow->addWidget(paletteClose_);
    paneColumn->addWidget(header);
    palettes_ = new CPaletteToolView(paletteContainer_);
    palettes_->setFrameShape(QFrame::StyledPanel);
    palettes_->setFrameShadow(QFrame::Sunken);
    paneColumn->addWidget(palettes_, 1);
    paletteContainer_->setMinimumWidth(0);

    splitter_->addWidget(view_);
    splitter_->addWidget(paletteContainer_);
    // A resize of the window changes the view only; the pane keeps its width,
    // and the user cannot drag the bar.
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    splitter_->handle(1)->setEnabled(false);
    splitter_->setSizes({std::max(0, width() - kPalettePaneWidth), kPalettePaneWidth});

    setCentralWidget(central);

    statusLabel_ = new QLabel(QStringLiteral("レディ"), this);
    statusLabel_->setTextInteractionFlags(Qt::NoTextInteraction);
    statusBar()->addWidget(statusLabel_, 1);
    statusBar()->setSizeGripEnabled(true);
}

void CMainFrame::connectChildren()
{
    // Every signal is handled synchronously, as the sender expects the frame
    // to be done when the emit returns.
    connect(view_, &CGridmintView::UWM_VIEW_LBUTTONDOWN, this, &CMainFrame::OnViewPress,
            Qt::DirectConnection);
    connect(view_, &CGridmintView::UWM_VIEW_DRAG, this, &CMainFrame::OnViewDrag,
            Qt::DirectConnection);
    connect(view_, &CGridmintView::UWM_VIEW_HOVER, this, &CMainFrame::OnViewHover,
            Qt::DirectConnection);
    connect(view_, &CGridmintView::UWM_VIEW_LBUTTONUP, this, &CMainFrame::OnViewRelease,
            Qt::DirectConnection);
    connect(view_, &CGridmintView::UWM_VIEW_RBUTTONDOWN, this, &CMainFrame::OnViewRightPress,
            Qt::DirectConnection);
    connect(
        view_, &CGridmintView::UWM_ZOOM_IN, this, [this] { OnZoomStep(+1); }, Qt::DirectConnection);
    connect(
        view_, &CGridmintView::UWM_ZOOM_OUT, this, [this] { OnZoomStep(-1); },
        Qt::DirectConnection);

    connect(panel_, &CTopPanelView::UWM_ZOOM_SELECTED, this, &CMainFrame::OnZoomSelected,
            Qt::DirectConnection);
    connect(panel_, &CTopPanelView::UWM_THRESHOLD_CHANGED, this, &CMainFrame::OnThresholdChanged,
            Qt::DirectConnection);
    connect(panel_, &CTopPanelView::UWM_TOOL_CHANGED, this, &CMainFrame::OnToolChanged,
            Qt::DirectConnection);
    connect(panel_, &CTopPanelView::UWM_REAPPLY, this, &CMainFrame::OnReapply,
            Qt::DirectConnection);

    connect(palettes_, &CPaletteToolView::UWM_PALETTE_SELECTED, this,
            &CMainFrame::OnPaletteSelected, Qt::DirectConnection);
    connect(paletteClose_, &QToolButton::clicked, this, &CMainFrame::hidePalettePane);
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!initialSplitDone_) {
        initialSplitDone_ = true;
        splitter_->setSizes(
            {std::max(0, splitter_->width() - kPalettePaneWidth), kPalettePaneWidth});
    }
}

QString CMainFrame::statusText() const
{
    return statusLabel_->text();
}

// ---------------------------------------------------------------------------
// View menu

void CMainFrame::toggleGrid()
{
    view_->setGridShown(!view_->gridShown());
    view_->Redraw();
    gridAction_->setChecked(view_->gridShown());
}

void CMainFrame::toggleStatusBar()
{
    const bool show = statusBar()->isHidden();
    statusBar()->setVisible(show);
    statusBarAction_->setChecked(show);
}

void CMainFrame::togglePalettePane()
{
    if (paletteContainer_->isHidden()) {
        paletteContainer_->show();
        const int total = splitter_->width();
        splitter_->setSizes({std::max(0, total - kPalettePaneWidth), kPalettePaneWidth});
        paletteAction_->setChecked(true);
    } else {
        hidePalettePane();
    }
}

void CMainFrame::hidePalettePane()
{
    view_->show();
    paletteContainer_->hide();
    paletteAction_->setChecked(false);
}

// ---------------------------------------------------------------------------
// Edit and help menus

void CMainFrame::OnUndo()
{
    if (document_->Undo()) {
        repaintView();
    }
}

void CMainFrame::OnSettings()
{
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : this;
    if (!dialogs_->editSettings(owner, settings_)) {
        return;
    }
    // The re-apply below reads the slider as it is now, so a pending slider
    // move needs no run of its own.
    thresholdTimer_.stop();
    ReapplyIfChanged();
    settingsSaveTimer_.stop(); // the write below covers a pending slider value
    SaveSettings(settings_);
}

void CMainFrame::scheduleSettingsSave()
{
    settingsSaveTimer_.start();
}

void CMainFrame::flushSettingsSave()
{
    if (settingsSaveTimer_.isActive()) {
        settingsSaveTimer_.stop();
        SaveSettings(settings_);
    }
}

QString CMainFrame::helpDocumentPath()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        appDir + QStringLiteral("/help/index.html"),
        appDir + QStringLiteral("/../share/gridmint/help/index.html"),
        QDir::currentPath() + QStringLiteral("/help/index.html"),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QFileInfo(candidate).canonicalFilePath();
        }
    }
    return {};
}

void CMainFrame::OnHelp()
{
    const QString path = helpDocumentPath();
    if (!path.isEmpty()) {
        dialogs_->openUrl(QUrl::fromLocalFile(path));
    }
}

void CMainFrame::OnDownloadPage()
{
    dialogs_->openUrl(QUrl(QStringLiteral(GRIDMINT_DOWNLOAD_URL)));
}

void CMainFrame::OnAbout()
{
    dialogs_->showAbout(QApplication::activeWindow() ? QApplication::activeWindow() : this);
}

// ---------------------------------------------------------------------------
// File commands

void CMainFrame::OnFileOpen()
{
    const QString chosen = dialogs_->openFileName(this, fileFilter());
    if (!chosen.isEmpty()) {
        Open(toPath(chosen));
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Only the first file is opened; the rest of the drop is ignored.
    if (urls.constFirst().isLocalFile()) {
        Open(toPath(urls.constFirst().toLocalFile()));
    }
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event)
{
    view_->setFocus();
    QMainWindow::mouseReleaseEvent(event);
}

void CMainFrame::Open(const std::filesystem::path& path)
{
    const std::string ext = LowerExtension(path);
    if (ext == ".act" || ext == ".pal") {
        openPalette(path, ext);
    } else {
        openImage(path);
    }
}

void CMainFrame::openPalette(const std::filesystem::path& path, const std::string& ext)
{
    if (!document_->source()) {
        dialogs_->message(
            this,
            QStringLiteral("画像が読み込まれていません。\n"
                           "パレットは画像読み込み後追加読み込みのみ対応しています。"),
            errorCaption());
        return;
    }
    std::unique_ptr<Palette> palette;
    try {
        palette = ext == ".act" ? readActPalette(path, settings_.IsReverseACT)
                                : readPalPalette(path, settings_.IsReversePAL);
    } catch (const tarn::CErrCodeException&) {
        palette.reset();
    } catch (const std::exception&) {
        palette.reset();
    }
    if (!palette) {
        dialogs_->message(this, QStringLiteral("パレットが読み込めませんでした"), errorCaption());
        return;
    }
    // The document's colours change only when the user picks the new block.
    palettes_->AddPalette(palette.get(), path);
    palettes_->Redraw();
}

void CMainFrame::openImage(const std::filesystem::path& path)
{
    // A failed read leaves the document, both paths, the pane and the view
    // exactly as they were.
    if (!document_->Load(path)) {
        dialogs_->message(this, imageNotReadText(), errorCaption());
        return;
    }
    loadedPath_ = path;
    savePath_.clear();
    const ImageSet* source = document_->source();
    palettes_->ResetPalettes(source ? source->palette.get() : nullptr, path);
    palettes_->Redraw();

    const std::int32_t previousFactor = view_->resultScale();
    IndexedBitmap* result = runEngine(false);
    if (!result) {
        // Whatever result the document still holds belongs to the previous
        // image; showing it beside the new palette would mislead.
        view_->setDisplayedBitmap(nullptr);
        shownSize_ = QSize();
        view_->RefreshExtent();
        repaintView();
        dialogs_->message(this, QStringLiteral("画像を拡大できませんでした"), errorCaption());
        return;
    }
    showResult(result, previousFactor, false);
    if (settings_.IsAutoSave) {
        autoSave();
    }
}

bool CMainFrame::hasSavableResult() const
{
    // Only the result on screen is saved: after a failed enlargement the
    // document may still hold the previous image's result.
    const IndexedBitmap* result = document_->resultBitmap();
    return result && view_->displayedBitmap() == result && document_->source();
}

void CMainFrame::reportSaveFailure()
{
    dialogs_->message(this, QStringLiteral("画像を保存できませんでした"), errorCaption());
}

void CMainFrame::OnFileSave()
{
    if (!hasSavableResult()) {
        return;
    }
    if (savePath_.empty()) {
        OnFileSaveAs();
        return;
    }
    if (!document_->Save(savePath_)) {
        reportSaveFailure();
    }
}

void CMainFrame::OnFileSaveAs()
{
    if (!hasSavableResult()) {
        return;
    }
    const std::filesystem::path proposed =
        ProposedSavePath(loadedPath_, folderPath(settings_.DefaultSaveFolder));
    const std::string ext = SaveExtension(loadedPath_);
    const QString suffix = QString::fromStdString(ext.size() > 1 ? ext.substr(1) : "png");
    const QString chosen = dialogs_->saveFileName(this, toQString(proposed), fileFilter(), suffix);
    if (chosen.isEmpty()) {
        return;
    }
    savePath_ = toPath(chosen);
    if (!document_->Save(savePath_)) {
        reportSaveFailure();
    }
}

void CMainFrame::autoSave()
{
    if (!hasSavableResult()) {
        return;
    }
    const AutoSaveTarget target =
        AutoSavePath(loadedPath_, folderPath(settings_.DefaultSaveFolder));
    if (!target.folderToCreate.empty()) {
        // One level only; a failure shows up as a failed save below.
        std::error_code ignored;
        std::filesystem::create_directory(target.folderToCreate, ignored);
    }
    if (!document_->Save(target.file)) {
        reportSaveFailure();
    }
}

// ---------------------------------------------------------------------------
// Engine runs

IndexedBitmap* CMainFrame::runEngine(bool force)
{
    ++engineRuns_;
    return document_->Apply(settings_.ImageScale, static_cast<double>(panel_->threshold()), force,
                            settings_.TransColorIndex);
}

void CMainFrame::showResult(IndexedBitmap* result, std::int32_t previousFactor, bool keepScroll)
{
    // The view's old bitmap may already be gone; compare against the size
    // the view last laid out instead.
    const std::int32_t factor = settings_.ImageScale;
    const QSize before = shownSize_;
    if (factor > 0) {
        view_->setResultScale(factor);
    }
    view_->setDisplayedBitmap(result);
    shownSize_ = result ? QSize(result->width(), result->height()) : QSize();
    view_->RefreshExtent(keepScroll && before == shownSize_);
    if (factor < previousFactor) {
        view_->setEraseNeeded(true);
    }
    repaintView();
}

void CMainFrame::ReapplyIfChanged()
{
    pendingThreshold_ = panel_->threshold();
    reapplyIfChanged(pendingThreshold_);
}

void CMainFrame::reapplyIfChanged(int threshold)
{
    const ScaleJob* job = document_->job();
    const std::int32_t factor = settings_.ImageScale;
    const std::int32_t transparent = settings_.TransColorIndex;
    if (!job) {
        // An image whose enlargement failed has a source but no job; a new
        // setting may make it fit, so it gets another try.
        if (document_->source()) {
            showRunResult(runEngine(false), 0, false);
        }
        return;
    }
    if (factor == job->factor() && static_cast<double>(threshold) == job->threshold() &&
        transparent == job->transparentIndex()) {
        return; // the result on screen is already the one these values give
    }
    const std::int32_t previousFactor = job->factor();
    ++engineRuns_;
    showRunResult(document_->Apply(factor, static_cast<double>(threshold), false, transparent),
                  previousFactor, true);
}

void CMainFrame::showRunResult(IndexedBitmap* result, std::int32_t previousFactor, bool keepScroll)
{
    if (result) {
        showResult(result, previousFactor, keepScroll);
        return;
    }
    // A failed run leaves the document's job and result as they were. A
    // result without a job belongs to an image opened before the current
    // one and must not be shown (or saved) as this one's.
    IndexedBitmap* current = document_->job() ? document_->resultBitmap() : nullptr;
    if (view_->displayedBitmap() != current) {
        view_->setDisplayedBitmap(current);
        shownSize_ = current ? QSize(current->width(), current->height()) : QSize();
        view_->RefreshExtent(true);
    }
    repaintView();
}

void CMainFrame::OnThresholdChanged()
{
    pendingThreshold_ = panel_->threshold();
    if (!thresholdTimer_.isActive()) {
        thresholdTimer_.start();
    }
}

void CMainFrame::applyPendingThreshold()
{
    reapplyIfChanged(pendingThreshold_);
}

void CMainFrame::OnReapply()
{
    const std::int32_t previousFactor = document_->job() ? document_->job()->factor() : 0;
    showRunResult(runEngine(true), previousFactor, true);
}

void CMainFrame::OnPaletteSelected()
{
    const auto& entries = palettes_->entries();
    if (entries.empty()) {
        return;
    }
    std::size_t index = static_cast<std::size_t>(std::max(0, palettes_->selectedPalette()));
    if (index >= entries.size()) {
        index = 0;
    }
    const PaletteEntry& entry = entries[index];
    // An empty colour table would leave the result without colours.
    if (entry.count <= 0) {
        return;
    }
    document_->SetPalette(entry.colours.data(), std::min(entry.count, 256));
    repaintView();
}

// ---------------------------------------------------------------------------
// Mouse tools

int CMainFrame::displayZoom() const
{
    return std::max(1, panel_->GetZoom());
}

void CMainFrame::repaintView()
{
    view_->Redraw();
}

void CMainFrame::paintBrush(int rx, int ry)
{
    if (!document_->job())
        return;
    const bool changed = panel_->toolMode() == ToolNearest
                             ? document_->PaintNearest(rx, ry, panel_->thickness())
                             : document_->PaintAuto(rx, ry, panel_->thickness());
    if (changed)
        repaintView();
}

void CMainFrame::plotDot(int rx, int ry)
{
    document_->PlotDots(rx, ry, static_cast<std::uint8_t>(palettes_->chosenColour()),
                        panel_->thickness());
    repaintView();
}

void CMainFrame::OnViewPress(int x, int y)
{
    document_->setSnapshotPending(true);
    const int zoom = displayZoom();
    int rx = x / zoom;
    int ry = y / zoom;
    const IndexedBitmap* result = document_->resultBitmap();
    auto clampToResult = [&] {
        if (result) {
            rx = std::clamp(rx, 0, std::max(0, result->width() - 1));
            ry = std::clamp(ry, 0, std::max(0, result->height() - 1));
        }
    };

    switch (panel_->toolMode()) {
    case ToolNearest:
    case ToolAuto:
        paintBrush(rx, ry);
        break;
    case ToolDiagonal:
    case ToolDiagonalLine:
        clampToResult();
        view_->setLineStart(rx, ry);
        document_->SetLineStart(rx, ry);
        break;
    case ToolCorner:
        clampToResult();
        if (clickCounter_ % 2 == 0) {
            document_->SetCornerFirst(rx, ry);
            view_->setHoverShown(true);
            view_->setHoverPos(rx, ry);
            repaintView();
        } else {
            document_->SetCornerAnchor(rx, ry);
            view_->setLineStart(rx, ry);
        }
        ++clickCounter_;
        break;
    case ToolDot:
        plotDot(rx, ry);
        break;
    case ToolZoom:
        panel_->stepZoom(+1);
        view_->SetZoom(panel_->GetZoom(), x, y);
        repaintView();
        break;
    default:
        break;
    }
}

void CMainFrame::OnViewDrag(int x, int y)
{
    const int zoom = displayZoom();
    const int rx = x / zoom;
    const int ry = y / zoom;
    switch (panel_->toolMode()) {
    case ToolNearest:
    case ToolAuto:
        paintBrush(rx, ry); // a drag paints continuously
        break;
    case ToolCorner:
        if (clickCounter_ % 2 != 0) {
            break;
        }
        if (document_->resultBitmap() && document_->DragCorner(rx, ry)) {
            repaintView();
        }
        view_->setLineKind(1);
        view_->setLineEnd(rx, ry);
        repaintView();
        break;
    case ToolDot:
        plotDot(rx, ry);
        break;
    case ToolDiagonal:
    case ToolDiagonalLine:
        view_->setLineKind(2);
        view_->setLineEnd(rx, ry);
        repaintView();
        break;
    default:
        break;
    }
    updateStatusText(x, y);
}

void CMainFrame::OnViewRelease(int x, int y)
{
    const int zoom = displayZoom();
    switch (panel_->toolMode()) {
    case ToolDiagonal:
    case ToolDiagonalLine:
        view_->setLineKind(0);
        view_->setLineEnd(0, 0);
        if (panel_->toolMode() == ToolDiagonalLine) {
            document_->FinishLine(x / zoom, y / zoom);
        }
        repaintView();
        break;
    case ToolCorner:
        if (clickCounter_ % 2 != 0) {
            break; // the first-click marker stays until the anchor is set
        }
        view_->setLineKind(0);
        view_->setLineEnd(0, 0);
        view_->setHoverShown(false);
        view_->setHoverPos(0, 0);
        repaintView();
        break;
    case ToolDot:
        plotDot(x / zoom, y / zoom);
        break;
    default:
        break;
    }
}

void CMainFrame::OnViewRightPress(int x, int y)
{
    const int zoom = displayZoom();
    switch (panel_->toolMode()) {
    case ToolDot: {
        const std::int32_t index = document_->ReadResultIndex(x / zoom, y / zoom);
        if (index >= 0 && index <= 255) {
            palettes_->setChosenColour(index);
            palettes_->Redraw();
        }
        break;
    }
    case ToolZoom:
        panel_->stepZoom(-1);
        view_->SetZoom(panel_->GetZoom(), x, y);
        repaintView();
        break;
    default:
        break;
    }
}

void CMainFrame::OnViewHover(int x, int y)
{
    updateStatusText(x, y);
}

void CMainFrame::updateStatusText(int x, int y)
{
    const ScaleJob* job = document_->job();
    // Left of or above the image the truncating division would name the
    // first column or row; the line keeps its text there as it does beyond
    // the other edges.
    if (!job || x < 0 || y < 0) {
        return;
    }
    const int zoom = displayZoom();
    const int factor = std::max(1, job->factor());
    const NeighbourStats stats = job->neighbourStats(x / zoom / factor, y / zoom / factor);
    if (stats.sameIndex.left == 0) {
        return;
    }
    statusLabel_->setText(QString::fromStdString(FormatStatusText(stats)));
}

void CMainFrame::OnToolChanged()
{
    clickCounter_ = 0;
    view_->setCursorKind(panel_->toolMode() == ToolZoom ? 1 : 0);
    view_->setHoverShown(false);
    view_->setHoverPos(0, 0);
    view_->setLineKind(0);
    view_->setLineEnd(0, 0);
    repaintView();
}

void CMainFrame::OnZoomSelected()
{
    view_->SetZoom(panel_->GetZoom(), -1, -1);
    repaintView();
}

void CMainFrame::OnZoomStep(int direction)
{
    panel_->stepZoom(direction);
    view_->SetZoom(panel_->GetZoom(), -1, -1);
    repaintView();
}

} // namespace gridmint
