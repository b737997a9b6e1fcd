#pragma once

#include <QColor>
#include <QDialog>
#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/test_keyframe.h"
#include "coloring/color_state.h"
#include "movie/render_host.h"
#include "settings/controls.h"
#include "settings/movie_spec.h"
#include "ui/compressor_dialog.h"
#include "ui/list_controller.h"
#include "ui/message_box.h"
#include "ui/small_dialogs.h"

class QHBoxLayout;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QScreen;
class QScrollArea;
class QTimer;

namespace zr {

class BalloonTooltips;
class DialogWidgets;
class GuiRenderHost;
class ProgramThreads;
class RenderSession;
class PreviewWindow;
struct PlaybackSound;

// The main dialog: every setting and command of the program in one fixed-size window. Its
// controls are the working copy of the settings, addressed by control identifier.
class MainDialog : public QDialog, public Controls {
    Q_OBJECT
  public:
    // Runs and previews render on `threads` (by default the calling thread alone).
    explicit MainDialog(QWidget* parent = nullptr, ProgramThreads* threads = nullptr);
    ~MainDialog() override;

    // Controls.
    std::string text(int id) const override;
    void setText(int id, std::string_view text) override;
    bool checked(int id) const override;
    void setChecked(int id, bool checked) override;
    int selection(int id) const override;
    void setSelection(int id, int index) override;
    int entryCount(int id) const override;
    std::vector<std::string> lines(int id) const override;
    void clearLines(int id) override;
    void addLine(int id, std::string_view line) override;
    void replaceLine(int id, int index, std::string_view line) override;
    void removeLine(int id, int index) override;
    std::optional<std::string> askZoomSize() override;
    void recomputeMovieLength() override;

    // The widget of a control identifier, nullptr for an unknown one.
    QWidget* control(int id) const;
    PreviewWindow& preview() const { return *preview_; }
    const BalloonTooltips& tooltips() const { return *tooltips_; }
    // The host a run reports through; any thread may call it.
    RenderHost& renderHost();

    // Message boxes go to `hook` instead of the screen while one is set.
    void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
    MessageAnswer message(const MessageRequest& request);
    // The compressor dialog goes to `hook` instead of the screen while one is set.
    void setCompressorHook(std::function<bool(CompressorChoice&)> hook) {
        compressorHook_ = std::move(hook);
    }
    bool chooseCompressor(CompressorChoice& choice);
    // The codec dialog of the other containers goes to `hook` instead of the screen while one is
    // set.
    void setVideoCodecHook(std::function<bool(Container, VideoCodecChoice&)> hook) {
        videoCodecHook_ = std::move(hook);
    }
    bool chooseVideoCodec(Container container, VideoCodecChoice& choice);

    // A press of a button, as a click delivers it.
    void command(int id);
    // The user selected a line of a list box (by mouse or keyboard).
    void listSelectionChanged(int listBoxId);
    // The user picked an entry of the wave type list.
    void waveTypePicked(int entry);

    // The commands behind the choosers, for tests and scripts.
    void chooseFolder(const std::string& folder);
    // The movie file (its extension chooses the container) and the soundtrack: a file inside
    // the key frame folder is kept by its name, so that it goes along to another folder. False,
    // with a message, for an extension of no container and a sound file that cannot be read.
    bool chooseMovieFile(const std::string& path);
    bool chooseSoundFile(const std::string& path);
    bool saveSettingsTo(const std::string& path);
    bool loadSettingsFrom(const std::string& path);
    // Entry 0 ... 7 of the key frame menu, or kKeyFrameMenuFromFileName with a file number.
    void applyKeyFrameMenu(int keyEditId, int entry, int fileNumber = -1);
    void startOrStop();
    void testKeyFrame();

    bool runInProgress() const;
    // What runs and Test of this dialog share.
    RenderSession& session() { return *session_; }
    // Exit, Escape and the close box: ends the dialog; during a run it first asks whether to
    // stop the run, and ends the dialog once the run has finished its movie file.
    void exitDialog();
    // The run's end: the dialog shows how it ended and is ready for the next Start.
    void renderFinished(const RenderOutcome& outcome);
    // How the last run of this dialog ended; none before the first has ended.
    const std::optional<RenderOutcome>& lastOutcome() const { return lastOutcome_; }
    // A message of the run under way: shown after those before it have been answered, while
    // the run goes on.
    void showRunMessage(const MessageRequest& request);
    void showProgress(long long framesDone, long long framesPlanned);

    // Shows the preview and gives its timeline the focus (the key F6).
    void focusTimeline();

    // Moves the dialog to the middle of `screen`, leaving room for the preview beside it; a
    // screen smaller than the dialog makes its settings scroll.
    void centreOn(const QScreen& screen);
    // Sizes the dialog to its settings, or to `available` (a screen's available area) where they
    // do not fit: the settings then scroll. An empty area: the settings' own size.
    void fitToScreen(const QRect& available);

    // The dialog and the preview side by side, as on the screen.
    QImage screenshot();

  protected:
    void reject() override;
    void showEvent(QShowEvent* event) override;

  private:
    friend class DialogWidgets;

    struct RenderRun {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void buildLayout();
    QHBoxLayout* buildStatusRow(DialogWidgets& make);
    void placeSettingsAndStatusRow(DialogWidgets& make, QHBoxLayout* folder, QHBoxLayout* columns);
    void initialise();
    void registerControl(QWidget* widget, int id);
    void editChanged(int id);
    void showZoomTextPressed();
    void keyFrameMenu(int buttonId, int keyEditId);
    void chooseInsideColor();
    void chooseLongWaveColor();
    void chooseTextureFile();
    void chooseFont();
    void showAbout();
    void saveSettings();
    void loadSettings();
    void browseFolder();
    void browseMovieFile();
    void browseSoundFile();
    // At Start: the compressor dialog (AVI) or the codec dialog (the other containers), whose
    // choice goes into `spec` (and for the other containers into the movie file settings);
    // then the check of the movie files. False, with a message, when they cannot be written.
    bool prepareMovieFiles(MovieSpec& spec);
    // Starts the run of spec_ on a thread of its own; `replaceForeignFiles` lets it replace
    // files at the movie files' names that the program did not make.
    void launchRun(bool replaceForeignFiles);
    void placePreview();
    // fitToScreen on the screen the dialog is on, keeping the dialog on it.
    void fitOnItsScreen();
    QSize previewFrameSize() const;
    void reapFinishedRuns();
    // The timeline follows every change of the controls, after a short pause.
    void watchSettingsForTimeline();
    void settingsChanged();
    // A run or Test left other colours for the next run: the timeline's movie starts from them.
    void timelineColorsChanged();
    void refreshTimeline();
    // The timeline's plan of the movie: "Movie length" shows its exact length.
    void showPlannedLength(long long frameCount, int fps);
    PlaybackSound playbackSoundOf(const MovieSpec& spec) const;
    int keyEditOfFrameButton(int buttonId) const;

    std::map<int, QWidget*> controls_;
    std::vector<ListController> listControllers_;
    PreviewWindow* preview_ = nullptr;
    std::unique_ptr<BalloonTooltips> tooltips_;
    std::unique_ptr<GuiRenderHost> host_;
    // The key frames, colours and texture that runs and Test share.
    std::unique_ptr<RenderSession> session_;
    // The periods "Random seed" gives the waves, seeded afresh for every dialog.
    std::mt19937 waveRandom_{std::random_device{}()};
    // The movie of the last Start (the initial values before the first), which Test colours
    // with.
    MovieSpec spec_;
    std::vector<RenderRun> runs_;
    bool runActive_ = false;  // from Start until the run's end has reached the dialog
    std::optional<RenderOutcome> lastOutcome_;
    std::deque<MessageRequest> runMessages_;  // a run's messages not shown yet
    bool showingRunMessages_ = false;
    FolderBrowser folderBrowser_;
    MessageHook messageHook_;
    std::function<bool(CompressorChoice&)> compressorHook_;
    // The AVI compressor, key-frame interval and quality the user confirmed last.
    std::optional<CompressorChoice> chosenCompressor_;
    std::function<bool(Container, VideoCodecChoice&)> videoCodecHook_;
    std::array<QColor, 16> insideCustomColors_{};
    std::array<QColor, 16> longWaveCustomColors_{};
    QWidget* settingsPane_ = nullptr;
    QScrollArea* settingsScroll_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* timeLeft_ = nullptr;
    std::chrono::steady_clock::time_point runStart_{};
    bool previewPlaced_ = false;
    bool exitAfterRun_ = false;  // the user chose to exit: the end of the run ends the dialog
    TestSlopeValues testSlope_;  // what the last Test found, the start of the next
    QTimer* scrubRefresh_ = nullptr;
    ColorState timelineColors_;    // what the timeline's movie starts from
    bool exactMovieLength_ = false;  // "Movie length" shows the timeline's plan
};

}  // namespace zr
