// The program's one top-level window: the tool strip on top, the image view
// on the left and the palette pane on the right. It owns the document and is
// the only place where tool modes, display zoom, settings and the document
// meet: menu commands and the child widgets' signals become document
// operations here, and the results are handed back to the view.
#pragma once

#include "app/AppSettings.h"
#include "app/ScaleDocument.h"
#include "desktop/AppSettingsStore.h"
#include "desktop/EngineRunner.h"
#include "desktop/FileCommands.h"
#include "desktop/MainInterface.h"
#include "desktop/ToolStrokes.h"
#include "desktop/UserDialogs.h"

#include <QMainWindow>
#include <QSize>
#include <QString>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QProgressBar;
class QSplitter;
class QToolButton;

namespace gridmint {

class CGridmintView;
class HoldKey;
class CPaletteToolView;
class CTopPanelView;

class CMainFrame : public QMainWindow, public MainInterface, private FileCommandHost {
    Q_OBJECT
public:
    // `settings` must outlive the frame. Without `dialogs` the real Qt
    // dialogs are used.
    explicit CMainFrame(AppSettings& settings, std::unique_ptr<UserDialogs> dialogs = {},
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Puts the window where `layout` says, when that still fits a screen;
    // otherwise it keeps the size fitted to the screen at construction.
    void RestoreWindowLayout(const WindowLayout& layout);
    WindowLayout windowLayout() const;

    // Opens an image or a palette file, as File > Open does.
    void Open(const std::filesystem::path& path);
    // One step back or forward in the document's history.
    void OnUndo();
    void OnRedo();
    void OnSettings();
    void OnHelp();
    void OnDownloadPage();
    void OnAbout();

    void OnViewPress(int x, int y) override;
    void OnViewDrag(int x, int y) override;
    void OnViewRelease(int x, int y);
    void OnViewRightPress(int x, int y);
    void OnViewHover(int x, int y);
    void OnToolChanged();
    void OnZoomSelected();
    void OnZoomStep(int direction);
    // Stores the slider position and lets the latest one win once the queued
    // input has been handled.
    void OnThresholdChanged();
    void OnReapply();
    // One slider drag, however many runs it causes, is one undo step.
    void OnSliderPressed();
    void OnSliderReleased();
    void OnPaletteSelected();

    // Runs the engine again when the threshold, factor or transparent index
    // differs from the current job's.
    void ReapplyIfChanged();

    CGridmintView* view() const { return view_; }
    CTopPanelView* toolPanel() const { return panel_; }
    CPaletteToolView* palettePane() const { return palettes_; }
    QWidget* palettePaneContainer() const { return paletteContainer_; }
    QToolButton* paletteCloseButton() const { return paletteClose_; }
    ScaleDocument& document() { return *document_; }
    const ScaleDocument& document() const { return *document_; }
    FileCommands& files() { return *files_; }
    const ToolStrokes& strokes() const { return *strokes_; }
    // The status bar's own line (hover statistics or "レディ"), not a menu
    // prompt shown over it.
    QString statusText() const;
    // How many times this frame ran the engine (open, re-apply, forced).
    int engineRuns() const { return engineRuns_; }
    // Engine runs whose result has at least `pixels` pixels, saves of such
    // results and loads of files of a quarter as many bytes run on a worker
    // thread while the window stays responsive; smaller ones are quick
    // enough to run in place.
    void setBackgroundFrom(std::int64_t pixels) { backgroundPixels_ = pixels; }
    // True while such a job runs; edits, undo and file commands then wait.
    bool isBusy() const { return runner_->busy(); }
    // Where the help document in the program's language was looked for and
    // found; empty when missing.
    static QString helpDocumentPath();
    // The status bar's statistics line for one source pixel.
    static QString statusLine(const NeighbourStats& stats);
    // The address the build configured for the download page; empty when
    // none, and the command is then not shown.
    static QString downloadPageUrl();

    QAction* openAction() const { return openAction_; }
    QAction* saveAction() const { return saveAction_; }
    QAction* saveAsAction() const { return saveAsAction_; }
    QAction* exitAction() const { return exitAction_; }
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }
    QAction* settingsAction() const { return settingsAction_; }
    QAction* gridAction() const { return gridAction_; }
    QAction* statusBarAction() const { return statusBarAction_; }
    QAction* paletteAction() const { return paletteAction_; }
    // 変更箇所を表示: the change map over the image.
    QAction* changesAction() const { return changesAction_; }
    // True while the plain block enlargement is shown instead of the result
    // (kPlainKey held down).
    bool plainShown() const;
    static constexpr int kPlainKey = Qt::Key_Space;
    QAction* helpAction() const { return helpAction_; }
    QAction* downloadAction() const { return downloadAction_; }
    QAction* aboutAction() const { return aboutAction_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Asks whether to save unsaved changes first; キャンセル keeps the window.
    void closeEvent(QCloseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool ShowLoadedImage() override;
    bool LoadDocument(const std::filesystem::path& path) override;
    bool SaveDocument(const std::filesystem::path& path) override;
    bool ResultOnScreen() const override;
    // Title mark and the enabled states of undo and redo.
    void DocumentStateChanged() override;
    // After undo or redo: the view, the controls and the palette pane
    // follow what the document now holds.
    void showDocumentState();
    void setSliderQuietly(int threshold);
    void selectShownPalette();
    // Before a re-run: asks when it would throw away hand edits that the
    // history cannot keep; on no, the controls return to the result's.
    bool mayDiscardEdits();

    void buildMenus();
    void buildLayout();
    void connectChildren();
    void togglePalettePane();
    void hidePalettePane();
    void toggleGrid();
    void toggleChanges();
    // Works out the change map when the overlay is on and the result has
    // none (made while it was off, or brought back by undo).
    void ensureChangeMap();
    void showPlain(bool shown);
    // After an undo or redo: cell mode follows the result brought back.
    void followResultCellLayout();
    void toggleStatusBar();

    // Counts the run and calls the document's Apply with the current
    // settings and slider position.
    IndexedBitmap* runEngine(bool force);
    // Apply, or for a large result the same run on a worker thread (see
    // EngineRunner::run).
    IndexedBitmap* applyToDocument(std::int32_t factor, double threshold, bool force,
                                   std::int32_t transparentIndex);
    // What the factor, slider and transparent index ask for now.
    EngineRunner::Request controlsRequest() const;
    // True (after a note in the status bar) while a job runs.
    bool refusedWhileBusy();
    // Hands a new result to the view. The scroll position is kept when the
    // result has the size of the one shown before and `keepScroll` is set.
    void showResult(IndexedBitmap* result, std::int32_t previousFactor, bool keepScroll);
    void reapplyIfChanged(int threshold);
    // showResult for a run that may have failed (null).
    void showRunResult(IndexedBitmap* result, std::int32_t previousFactor, bool keepScroll);
    void applyPendingThreshold();
    // The slider stores the threshold on every move; writing the settings
    // store (a synced file) each time costs more than an engine run, so the
    // write waits until the slider has rested.
    void scheduleSettingsSave();
    void flushSettingsSave();

    int displayZoom() const;
    void updateStatusText(int x, int y);
    // Back to the idle text: no image pixel under the pointer.
    void clearStatusText();
    void repaintView();

    AppSettings& settings_;
    std::unique_ptr<UserDialogs> dialogs_;
    std::unique_ptr<ScaleDocument> document_;
    std::unique_ptr<FileCommands> files_;
    std::unique_ptr<ToolStrokes> strokes_;

    CTopPanelView* panel_ = nullptr;
    CGridmintView* view_ = nullptr;
    CPaletteToolView* palettes_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWidget* paletteContainer_ = nullptr;
    QToolButton* paletteClose_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    bool initialSplitDone_ = false;

    QAction* openAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* saveAsAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QAction* settingsAction_ = nullptr;
    QAction* gridAction_ = nullptr;
    QAction* changesAction_ = nullptr;
    QAction* statusBarAction_ = nullptr;
    QAction* paletteAction_ = nullptr;
    QAction* helpAction_ = nullptr;
    QAction* downloadAction_ = nullptr;
    QAction* aboutAction_ = nullptr;

    QTimer thresholdTimer_;
    QTimer settingsSaveTimer_;
    int pendingThreshold_ = 0;
    int engineRuns_ = 0;
    std::int64_t backgroundPixels_ = std::int64_t{1} << 23; // about 40 ms of engine work
    std::unique_ptr<EngineRunner> runner_;
    std::unique_ptr<HoldKey> plainKey_;
    QLabel* busyLabel_ = nullptr;
    QProgressBar* busyBar_ = nullptr;
    // Size of the result last handed to the view (empty when none).
    QSize shownSize_;
};

} // namespace gridmint
