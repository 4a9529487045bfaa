#include "desktop/CMainFrame.h"

#include "app/StatusText.h"
#include "desktop/AppSettingsStore.h"
#include "desktop/HoldKey.h"
#include "desktop/UiLanguage.h"
#include "desktop/WindowPlacement.h"
#include "ui/CGridmintView.h"
#include "ui/CPaletteToolView.h"
#include "ui/CTopPanelView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#ifndef GRIDMINT_DOWNLOAD_URL
#define GRIDMINT_DOWNLOAD_URL ""
#endif

namespace gridmint {

namespace {

constexpr int kPalettePaneWidth = 246;
// How long the threshold slider must rest before its value is written out.
constexpr int kSettingsSaveDelayMs = 300;
// Title bar and borders around the client area, before the window exists
// and the platform can say.
constexpr QSize kFrameAllowance(16, 40);

QString idleText()
{
    return CMainFrame::tr("レディ");
}

// The help page in the program's language, below the program's folder.
QString helpPage()
{
    return CurrentUiLanguage() == UiLanguage::English ? QStringLiteral("/help/index_en.html")
                                                      : QStringLiteral("/help/index.html");
}

std::int64_t pixelCount(std::int64_t width, std::int64_t height, std::int64_t factor = 1)
{
    return width * factor * height * factor;
}

} // namespace

CMainFrame::CMainFrame(AppSettings& settings, std::unique_ptr<UserDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), settings_(settings),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<UserDialogs>()),
      document_(std::make_unique<ScaleDocument>())
{
    document_->history().setBudget(EditHistory::kDefaultBudget);
    document_->SetCellLayout(settings_.cellLayout());
    // The "[*]" turns into the modified mark while there are unsaved changes.
    setWindowTitle(QStringLiteral("Gridmint[*]"));
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
    runner_ = std::make_unique<EngineRunner>(
        *this, *document_, [this] { return controlsRequest(); },
        [this](bool busy) {
            busyLabel_->setVisible(busy);
            busyBar_->setVisible(busy);
        },
        [this](bool forced) {
            if (forced) {
                OnReapply();
            } else {
                ReapplyIfChanged();
            }
        });
    FileCommandHost& host = *this;
    files_ =
        std::make_unique<FileCommands>(*this, host, *document_, settings_, *dialogs_, *palettes_);
    strokes_ = std::make_unique<ToolStrokes>(*document_, *panel_, *view_, *palettes_,
                                             [this] { DocumentStateChanged(); });
    connectChildren();
    plainKey_ = std::make_unique<HoldKey>(this, kPlainKey, [this](bool held) { showPlain(held); });
    DocumentStateChanged();
    setMinimumSize(kMinimumWindowSize);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    resize(screen ? FittedWindowSize(screen->availableGeometry(), kFrameAllowance)
                  : kUsualWindowSize);
    // The keyboard starts on the image, not on whichever tool button comes
    // first in the tab order.
    view_->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::RestoreWindowLayout(const WindowLayout& layout)
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas << screen->availableGeometry();
    }
    // A place recorded on a larger or a detached screen would open the
    // window partly out of reach; the fitted first-start size is better.
    if (SavedGeometryFits(layout.geometry, areas)) {
        restoreGeometry(layout.geometry);
    }
    if (!layout.state.isEmpty()) {
        restoreState(layout.state);
    }
    if (!layout.paletteShown && !paletteContainer_->isHidden()) {
        hidePalettePane();
    }
}

WindowLayout CMainFrame::windowLayout() const
{
    return {saveGeometry(), saveState(), !paletteContainer_->isHidden()};
}

CMainFrame::~CMainFrame()
{
    flushSettingsSave();
    // The view holds a plain pointer into the document's result; make sure
    // nothing can paint it once the document is gone.
    view_->setDisplayedBitmap(nullptr);
}

void CMainFrame::buildMenus()
{
    auto add = [](QMenu* menu, const QString& caption, const QString& prompt) {
        QAction* action = menu->addAction(caption);
        action->setStatusTip(prompt);
        return action;
    };

    QMenu* file = menuBar()->addMenu(tr("ファイル(&F)"));
    openAction_ = add(file, tr("開く(&O)...\tCtrl+O"), tr("既存のファイルを開く"));
    openAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    saveAction_ = add(file, tr("上書き保存(&S)\tCtrl+S"), tr("上書き保存する"));
    saveAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    saveAsAction_ = add(file, tr("名前をつけて保存(&A)..."), tr("新たに名前をつけて保存する"));
    file->addSeparator();
    exitAction_ = add(file, tr("終了(&x)"), tr("アプリケーション終了; prompts to save documents"));

    QMenu* edit = menuBar()->addMenu(tr("編集(&E)"));
    undoAction_ = add(edit, tr("元に戻す(&U)\tCtrl+Z"), tr("直前の動作を元に戻す"));
    undoAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)});
    redoAction_ = add(edit, tr("やり直し(&R)\tCtrl+Y"), tr("元に戻した動作をやり直す"));
    redoAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    edit->addSeparator();
    settingsAction_ = add(edit, tr("設定(&O)"), QString());

    QMenu* show = menuBar()->addMenu(tr("表示(&V)"));
    gridAction_ = add(show, tr("グリッド表示(&G)"), tr("グリッドを表示/非表示します"));
    statusBarAction_ =
        add(show, tr("ステータスバー表示(&S)"), tr("ステータスバーを表示/非表示します"));
    paletteAction_ = add(show, tr("パレット表示(&P)"), tr("パレットを表示/非表示します"));
    for (QAction* action : {gridAction_, statusBarAction_, paletteAction_}) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    show->addSeparator();
    changesAction_ = add(
        show, tr("変更箇所を表示(&C)"),
        tr("エンジンが変えた画素を色で示します (Space キーを押している間は拡大前のブロック表示)"));
    changesAction_->setCheckable(true);

    QMenu* help = menuBar()->addMenu(tr("ヘルプ(&H)"));
    helpAction_ = add(help, tr("ヘルプ(&H)"), QString());
    downloadAction_ = add(help, tr("ダウンロードページを開く(&D)"), QString());
    // Without an address from the build there is no page to offer.
    downloadAction_->setVisible(!downloadPageUrl().isEmpty());
    aboutAction_ =
        add(help, tr("Gridmint について(&A)"), tr("情報表示, バージョン番号およびコピーライト"));

    connect(openAction_, &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) {
            files_->OnFileOpen();
        }
    });
    connect(saveAction_, &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) {
            files_->OnFileSave();
        }
    });
    connect(saveAsAction_, &QAction::triggered, this, [this] {
        if (!refusedWhileBusy()) {
            files_->OnFileSaveAs();
        }
    });
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(undoAction_, &QAction::triggered, this, &CMainFrame::OnUndo);
    connect(redoAction_, &QAction::triggered, this, &CMainFrame::OnRedo);
    connect(settingsAction_, &QAction::triggered, this, &CMainFrame::OnSettings);
    connect(gridAction_, &QAction::triggered, this, &CMainFrame::toggleGrid);
    connect(changesAction_, &QAction::triggered, this, &CMainFrame::toggleChanges);
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
    headerRow->addWidget(new QLabel(tr("パレット"), header), 1);
    paletteClose_ = new QToolButton(header);
    paletteClose_->setAutoRaise(true);
    paletteClose_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    paletteClose_->setIconSize(QSize(12, 12));
    paletteClose_->setToolTip(tr("閉じる"));
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

    statusLabel_ = new QLabel(idleText(), this);
    statusLabel_->setTextInteractionFlags(Qt::NoTextInteraction);
    statusBar()->addWidget(statusLabel_, 1);
    statusBar()->setSizeGripEnabled(true);
    // Shown while a long job runs: the engine cannot say how far it is, so
    // the bar only moves to show that it is working.
    busyLabel_ = new QLabel(tr("処理中…"), this);
    busyBar_ = new QProgressBar(this);
    busyBar_->setRange(0, 0);
    busyBar_->setMaximumWidth(160);
    busyBar_->setMaximumHeight(statusBar()->fontMetrics().height());
    statusBar()->addPermanentWidget(busyLabel_);
    statusBar()->addPermanentWidget(busyBar_);
    busyLabel_->hide();
    busyBar_->hide();
    // A menu's prompt hides the line while it is shown; when the menu is
    // gone the line is idle again rather than showing stale statistics.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty()) {
            clearStatusText();
        }
    });
    view_->viewport()->installEventFilter(this);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_->viewport() && event->type() == QEvent::Leave) {
        clearStatusText();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::clearStatusText()
{
    statusLabel_->setText(idleText());
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
    connect(panel_->thresholdSlider(), &QSlider::sliderPressed, this, &CMainFrame::OnSliderPressed);
    connect(panel_->thresholdSlider(), &QSlider::sliderReleased, this,
            &CMainFrame::OnSliderReleased);

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

void CMainFrame::toggleChanges()
{
    const bool on = !view_->changesShown();
    // Runs from now on record their changes too; the result on screen gets
    // its map without a re-run, so hand edits stay as they are.
    document_->SetTraceChanges(on);
    view_->setChangesShown(on);
    changesAction_->setChecked(on);
    ensureChangeMap();
    repaintView();
}

void CMainFrame::ensureChangeMap()
{
    if (!view_->changesShown() || document_->changeMap() || !document_->job() || isBusy()) {
        return;
    }
    std::unique_ptr<IndexedImage> map;
    const ScaleDocument& document = *document_;
    const IndexedBitmap* result = document_->resultBitmap();
    if (result && pixelCount(result->width(), result->height()) >= backgroundPixels_) {
        runner_->runBusy([&] { map = document.TraceResultChanges(); });
    } else {
        map = document.TraceResultChanges();
    }
    document_->AdoptChangeMap(std::move(map));
}

bool CMainFrame::plainShown() const
{
    return view_->plainShown();
}

void CMainFrame::showPlain(bool shown)
{
    view_->setPlainShown(shown);
    if (shown) {
        statusBar()->showMessage(
            tr("拡大前のブロック表示です。Space キーを離すと結果に戻ります。"));
    } else {
        statusBar()->clearMessage();
    }
    repaintView();
}

void CMainFrame::followResultCellLayout()
{
    if (!document_->job()) {
        return;
    }
    const CellLayout& made = document_->resultCellLayout();
    document_->SetCellLayout(made);
    if (settings_.cellLayout() != made) {
        settings_.setCellLayout(made);
        scheduleSettingsSave();
    }
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
    if (refusedWhileBusy()) {
        return;
    }
    if (document_->UndoStep()) {
        showDocumentState();
    }
}

void CMainFrame::OnRedo()
{
    if (refusedWhileBusy()) {
        return;
    }
    if (document_->RedoStep()) {
        showDocumentState();
    }
}

void CMainFrame::showDocumentState()
{
    // A re-run step brings back its job: the controls follow the factor,
    // threshold and transparent index that made the result.
    if (const ScaleJob* job = document_->job()) {
        const bool settingsChanged = settings_.ImageScale != job->factor() ||
                                     settings_.TransColorIndex != job->transparentIndex();
        settings_.ImageScale = job->factor();
        settings_.TransColorIndex = job->transparentIndex();
        if (settingsChanged) {
            scheduleSettingsSave();
        }
        setSliderQuietly(static_cast<int>(job->threshold()));
    }
    followResultCellLayout();
    ensureChangeMap();
    IndexedBitmap* result = document_->resultBitmap();
    if (view_->displayedBitmap() != result) {
        showResult(result, view_->resultScale(), true);
    } else {
        repaintView();
    }
    selectShownPalette();
    DocumentStateChanged();
}

void CMainFrame::setSliderQuietly(int threshold)
{
    // The slider's own signal would ask for a run; the result on screen is
    // already the one this value gives.
    QSlider* slider = panel_->thresholdSlider();
    if (slider->value() == threshold) {
        return;
    }
    thresholdTimer_.stop();
    pendingThreshold_ = threshold;
    slider->setValue(threshold);
    thresholdTimer_.stop();
}

void CMainFrame::selectShownPalette()
{
    // The first pane block whose colours the document now shows.
    const ImageSet* source = document_->source();
    if (!source || !source->palette) {
        return;
    }
    const std::vector<Colour>& shown = source->palette->colours;
    const auto& entries = palettes_->entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto n = static_cast<std::size_t>(std::clamp(entries[i].count, 0, 256));
        if (n > 0 && n <= shown.size() &&
            std::equal(entries[i].colours.begin(), entries[i].colours.begin() + n, shown.begin())) {
            palettes_->selectPalette(static_cast<int>(i));
            return;
        }
    }
}

void CMainFrame::DocumentStateChanged()
{
    setWindowModified(document_->IsModified());
    undoAction_->setEnabled(document_->CanUndoStep());
    redoAction_->setEnabled(document_->CanRedoStep());
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (refusedWhileBusy()) {
        event->ignore();
        return;
    }
    if (files_->OfferToSave()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CMainFrame::OnSettings()
{
    QWidget* owner = QApplication::activeWindow() ? QApplication::activeWindow() : this;
    if (!dialogs_->editSettings(owner, settings_)) {
        return;
    }
    document_->SetCellLayout(settings_.cellLayout());
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
    const QString page = helpPage();
    const QStringList candidates = {
        appDir + page,
        appDir + QStringLiteral("/../share/gridmint") + page,
        QDir::currentPath() + page,
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QFileInfo(candidate).canonicalFilePath();
        }
    }
    return {};
}

QString CMainFrame::downloadPageUrl()
{
    return QStringLiteral(GRIDMINT_DOWNLOAD_URL);
}

void CMainFrame::OnHelp()
{
    const QString path = helpDocumentPath();
    if (path.isEmpty()) {
        dialogs_->message(
            this,
            tr("ヘルプファイルが見つかりませんでした。\n"
               "プログラムと同じフォルダーの help/index.html "
               "にあるはずです:\n%1")
                .arg(QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + helpPage())),
            FileCommands::errorCaption());
        return;
    }
    if (!dialogs_->openUrl(QUrl::fromLocalFile(path))) {
        dialogs_->message(this,
                          tr("ヘルプを開くプログラムが見つかりませんでした。\n"
                             "ヘルプはここにあります:\n%1")
                              .arg(QDir::toNativeSeparators(path)),
                          FileCommands::errorCaption());
    }
}

void CMainFrame::OnDownloadPage()
{
    const QString address = downloadPageUrl();
    if (address.isEmpty()) {
        return;
    }
    if (!dialogs_->openUrl(QUrl(address))) {
        dialogs_->message(this,
                          tr("ダウンロードページを開くプログラムが見つかりませんでした。"
                             "\nページのアドレス:\n%1")
                              .arg(address),
                          FileCommands::errorCaption());
    }
}

void CMainFrame::OnAbout()
{
    dialogs_->showAbout(QApplication::activeWindow() ? QApplication::activeWindow() : this);
}

// ---------------------------------------------------------------------------
// Files

void CMainFrame::Open(const std::filesystem::path& path)
{
    files_->Open(path);
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
    if (!refusedWhileBusy()) {
        files_->OnDrop(urls);
    }
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event)
{
    view_->setFocus();
    QMainWindow::mouseReleaseEvent(event);
}

bool CMainFrame::ShowLoadedImage()
{
    const std::int32_t previousFactor = view_->resultScale();
    IndexedBitmap* result = runEngine(false);
    if (!result) {
        // Whatever result the document still holds belongs to the previous
        // image; showing it beside the new palette would mislead.
        view_->setDisplayedBitmap(nullptr);
        shownSize_ = QSize();
        view_->RefreshExtent();
        clearStatusText();
        repaintView();
        return false;
    }
    // The line's statistics were the previous image's.
    clearStatusText();
    showResult(result, previousFactor, false);
    // A file that ends early still opens (its missing rows are black), but
    // the artist should know the picture is not all there.
    if (const std::int32_t missing = document_->missingRows(); missing > 0) {
        statusBar()->showMessage(tr("画像が途中で終わっています（%1 行のうち %2 行がありません）。")
                                     .arg(document_->source()->height())
                                     .arg(missing),
                                 10000);
    }
    return true;
}

bool CMainFrame::ResultOnScreen() const
{
    const IndexedBitmap* result = document_->resultBitmap();
    return result && view_->displayedBitmap() == result;
}

// ---------------------------------------------------------------------------
// Engine runs

IndexedBitmap* CMainFrame::runEngine(bool force)
{
    return applyToDocument(settings_.ImageScale, static_cast<double>(panel_->threshold()), force,
                           settings_.TransColorIndex);
}

IndexedBitmap* CMainFrame::applyToDocument(std::int32_t factor, double threshold, bool force,
                                           std::int32_t transparentIndex)
{
    const ImageSet* source = document_->source();
    if (!source || pixelCount(source->width(), source->height(), factor) < backgroundPixels_) {
        ++engineRuns_;
        return document_->Apply(factor, threshold, force, transparentIndex);
    }
    return runner_->run({factor, threshold, transparentIndex}, engineRuns_);
}

EngineRunner::Request CMainFrame::controlsRequest() const
{
    return {settings_.ImageScale, static_cast<double>(panel_->threshold()),
            settings_.TransColorIndex};
}

bool CMainFrame::refusedWhileBusy()
{
    if (!isBusy()) {
        return false;
    }
    statusBar()->showMessage(tr("処理中です。終わるまでお待ちください。"), 3000);
    return true;
}

bool CMainFrame::LoadDocument(const std::filesystem::path& path)
{
    std::error_code error;
    const auto bytes = std::filesystem::file_size(path, error);
    if (error || static_cast<std::int64_t>(bytes) * 4 < backgroundPixels_) {
        return document_->Load(path);
    }
    std::unique_ptr<ImageSet> read;
    std::string why;
    runner_->runBusy([&] { read = ScaleDocument::ReadImage(path, why); });
    return document_->AdoptImage(std::move(read), std::move(why));
}

bool CMainFrame::SaveDocument(const std::filesystem::path& path)
{
    const IndexedBitmap* result = document_->resultBitmap();
    if (!result || pixelCount(result->width(), result->height()) < backgroundPixels_) {
        return document_->Save(path);
    }
    bool written = false;
    std::string why;
    const ScaleDocument& document = *document_;
    runner_->runBusy([&] { written = document.WriteResult(path, why); });
    document_->RecordSave(written, std::move(why));
    return written;
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
    if (isBusy()) {
        runner_->requestRerun(false); // runs with the newest values when the job ends
        return;
    }
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
    if (EngineRunner::resultMatches(*document_,
                                    {factor, static_cast<double>(threshold), transparent})) {
        return; // the result on screen is already the one these values give
    }
    if (!mayDiscardEdits()) {
        return;
    }
    const std::int32_t previousFactor = job->factor();
    showRunResult(applyToDocument(factor, static_cast<double>(threshold), false, transparent),
                  previousFactor, true);
}

bool CMainFrame::mayDiscardEdits()
{
    // Telling hand edits from the engine's output compares the whole result:
    // at the largest factors a gigabyte, so that too runs on the worker.
    bool discards = false;
    const IndexedBitmap* result = document_->resultBitmap();
    if (result && pixelCount(result->width(), result->height()) >= backgroundPixels_) {
        const ScaleDocument& document = *document_;
        runner_->runBusy([&] { discards = document.ApplyWouldDiscardEdits(); });
    } else {
        discards = document_->ApplyWouldDiscardEdits();
    }
    if (!discards) {
        return true;
    }
    if (dialogs_->confirm(this,
                          tr("この画像では再適用前の状態が元に戻す履歴に入りきりません。\n"
                             "再適用すると手で加えた修正は元に戻せなくなります。"
                             "続けますか？"),
                          tr("再適用"))) {
        return true;
    }
    // The controls go back to what made the result on screen.
    QSlider* slider = panel_->thresholdSlider();
    if (slider->isSliderDown()) {
        slider->setSliderDown(false); // ends the drag instead of asking again
    }
    showDocumentState();
    return false;
}

void CMainFrame::showRunResult(IndexedBitmap* result, std::int32_t previousFactor, bool keepScroll)
{
    DocumentStateChanged();
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
    // Without a word the user would take the picture on screen, made with
    // the previous settings, for the new ones'.
    if (document_->source()) {
        dialogs_->message(this, FileCommands::enlargeFailedText(), FileCommands::errorCaption());
    }
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

void CMainFrame::OnSliderPressed()
{
    document_->BeginRunGroup();
}

void CMainFrame::OnSliderReleased()
{
    // The last position of the drag still belongs to its step.
    if (thresholdTimer_.isActive()) {
        thresholdTimer_.stop();
        applyPendingThreshold();
    }
    document_->EndRunGroup();
}

void CMainFrame::OnReapply()
{
    if (isBusy()) {
        runner_->requestRerun(true);
        return;
    }
    if (!mayDiscardEdits()) {
        return;
    }
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
    // The colours belong to the source a job may be reading.
    if (refusedWhileBusy()) {
        selectShownPalette();
        return;
    }
    document_->SetPalette(entry.colours.data(), std::min(entry.count, 256));
    repaintView();
    DocumentStateChanged();
}

// ---------------------------------------------------------------------------
// Mouse tools

int CMainFrame::displayZoom() const
{
    return std::max(1, panel_->GetZoom());
}

void CMainFrame::repaintView()
{
    // Pointers into the document, which a run or an undo may have replaced.
    // A run in flight may have borrowed the job of the result on screen.
    const bool made = document_->job() != nullptr || runner_->jobLent();
    view_->setChangeMap(document_->changeMap());
    const ImageSet* source = document_->source();
    view_->setPlainSource(made && source ? source->image.get() : nullptr);
    view_->setCellGrid(made ? document_->resultCellLayout() : CellLayout{});
    view_->Redraw();
}

void CMainFrame::OnViewPress(int x, int y)
{
    if (view_->plainShown()) {
        showPlain(false); // an edit is made on the result, so it shows
    }
    if (!refusedWhileBusy()) {
        strokes_->Press(x, y);
    }
}

void CMainFrame::OnViewDrag(int x, int y)
{
    if (!refusedWhileBusy()) {
        strokes_->Drag(x, y);
        updateStatusText(x, y);
    }
}

void CMainFrame::OnViewRelease(int x, int y)
{
    if (!refusedWhileBusy()) {
        strokes_->Release(x, y);
    }
}

void CMainFrame::OnViewRightPress(int x, int y)
{
    if (!refusedWhileBusy()) {
        strokes_->RightPress(x, y);
    }
}

void CMainFrame::OnViewHover(int x, int y)
{
    updateStatusText(x, y);
}

QString CMainFrame::statusLine(const NeighbourStats& stats)
{
    // Worded like FormatStatusText, which the command line shares, but
    // translatable; each count right-aligned in four places.
    QStringList counts;
    for (const int n : StatusCounts(stats)) {
        counts << QStringLiteral("%1").arg(n, 4);
    }
    QString line = tr("同インデックス [ 左 %1, 右 %2, 上 %3, 下 %4 ] "
                      "同色 [ 左 %5, 右 %6, 上 %7, 下 %8 ] "
                      "近似色 [ 左 %9, 右 %10, 上 %11, 下 %12 ]");
    // One pass, so that a count can never be taken for a place marker.
    return line.arg(counts[0], counts[1], counts[2], counts[3], counts[4], counts[5], counts[6],
                    counts[7], counts[8], counts[9], counts[10], counts[11]);
}

void CMainFrame::updateStatusText(int x, int y)
{
    const ScaleJob* job = document_->job();
    // Left of or above the image the truncating division would name the
    // first column or row; the line keeps its text there as it does beyond
    // the other edges.
    if (!job || x < 0 || y < 0) {
        clearStatusText();
        return;
    }
    const int zoom = displayZoom();
    const int factor = std::max(1, job->factor());
    const NeighbourStats stats = job->neighbourStats(x / zoom / factor, y / zoom / factor);
    if (stats.sameIndex.left == 0) {
        clearStatusText(); // beyond the image's right or lower edge
        return;
    }
    statusLabel_->setText(statusLine(stats));
}

void CMainFrame::OnToolChanged()
{
    strokes_->ToolChanged();
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
