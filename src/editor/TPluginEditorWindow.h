// The plug-in's editor window: a fixed 736 x 464 panel with the waveform
// display, the shaping sliders, the EQ box, the dry and wet faders with
// meters, the switch buttons, the file list and three overlay panels (help,
// setup, loading), plus the modal "Alert" box.
//
// The window works on its own mirror of the plug-in's parameters: the frame
// fills it on open and after updates, the handlers write it, and the
// 100-millisecond refresh (updaterTimer) brings every control in line with it
// and with the plug-in's live state (meters, overload, auto gain). User
// actions become parameter changes through setParameterAutomated, so hosts
// record them as automation.
//
// Threading: the host's UI thread only (or the snapshot tool's thread). It
// never runs on the audio thread and never reads parameters except when the
// frame asks it to load the mirror.
#pragma once

#include "core/APlugin.h"
#include "core/Parameters.h"
#include "editor/Canvas.h"
#include "editor/Desktop.h"
#include "editor/EqBox.h"
#include "editor/NativeWindow.h"
#include "editor/Panels.h"
#include "editor/TGFileselector.h"
#include "editor/ResponseDisplay.h"
#include "editor/Tmarlo_blue_slider.h"
#include "editor/Widget.h"

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace tam
{

class TPluginEditorWindow final : public Widget, public WindowListener
{
    // First, so that the drawing areas below can refer to the background.
    APlugin& plugin;
    std::unique_ptr<NativeWindow> nativeWindow;
    std::unique_ptr<Canvas> background; ///< the window's background picture
    std::unique_ptr<Canvas> backbuffer; ///< the composed frame
    std::unique_ptr<Desktop> desktop;   ///< chooser, message box, folder listing

public:
    static constexpr int designWidth = 736;
    static constexpr int designHeight = 464;
    static constexpr int timerIntervalMs = 100;

    /// Runs the creation handler. Without a native window the window only
    /// composes its frame off screen (snapshots, tests).
    explicit TPluginEditorWindow(APlugin& owner, std::unique_ptr<NativeWindow> native = nullptr);
    ~TPluginEditorWindow() override;

    /// Gives the window its screen window after creation (the native window
    /// needs the window as its listener).
    void attach(std::unique_ptr<NativeWindow> native);
    NativeWindow* getNativeWindow() const { return nativeWindow.get(); }
    /// Replaces the platform's desktop services (tests).
    void setDesktop(std::unique_ptr<Desktop> services) { desktop = std::move(services); }
    Size clientSize() const;

    // ---- driven by the editor frame
    /// Copies the plug-in's current parameter values into the mirror.
    void loadMirror();
    /// Shows the window (running the show handler) or hides it.
    void showWindow();
    void hideWindow();
    /// One refresh: every step of the timer, guarded; does nothing once the
    /// timer has been stopped by an error.
    void updaterTimer();
    bool timerRunning() const { return timerEnabled; }
    /// Reads pending window-system events and delivers them.
    void processEvents();
    /// Recomposes the areas that changed and copies them to the screen.
    void flush();
    /// The composed frame, up to date (snapshots, tests).
    const Canvas& frame();

    float mirrorValue(int index) const;
    const ResponseSnapshot& shownResponse() const { return response; }
    const std::string& informationLine() const { return shownInformation; }
    /// Called with each stage marker as the refresh reaches it; diagnostics,
    /// and the way tests make a step fail.
    std::function<void(const std::string& stage)> stageObserver;

    // ---- message box
    void showMessage(const std::string& text);
    std::string currentMessage() const { return alertBox.currentMessage(); }

    // ---- WindowListener (window coordinates)
    void onMouseDown(const MouseEvent& event) override;
    void onMouseMove(const MouseEvent& event) override;
    void onMouseUp(const MouseEvent& event) override;
    void onWheel(Point point, int steps) override;
    void onExpose(const Rect& area) override;
    void onFilesDropped(const std::vector<std::string>& paths, Point point) override;
    void onKeyDown(Key key) override;

    // ---- file list and loading
    /// The load flow of the list, the dialog and drops; messages in Alerts.
    void loadFile(const std::string& fileName, bool fromDialog);
    /// Rebuilds the list when the current file changed.
    void refreshList(bool scroll);
    const TGFileselector& files() const { return fileSelector; }
    bool chooserOpen() const { return static_cast<bool>(chooser); }
    /// Checks on a running chooser (each idle call).
    void pollChooser();

    // ---- controls, named as in the layout
    PaintBox PaintBox3; ///< file information line
    Tmarlo_blue_slider reversebutton;
    PaintBox PaintBox1; ///< waveform and envelope
    Label Label13;
    Tmarlo_blue_slider scrollbar3; ///< predelay
    Label Label42;
    Tmarlo_blue_slider attackgain_slider;
    Tmarlo_blue_slider attacktime_slider;
    Label Label20;
    Tmarlo_blue_slider Scrollbar4; ///< envelope
    Label Label2;
    Tmarlo_blue_slider scrollbar6; ///< length
    Label Label18;
    Tmarlo_blue_slider pitch_slider; ///< stretch
    Label Label10;
    Tmarlo_blue_slider marlo_blue_slider3; ///< input stereo width
    Tmarlo_blue_slider scrollbar5;         ///< impulse-response stereo width
    Tmarlo_blue_slider marlo_blue_slider8; ///< "reset" of the shaping
    PaintBox PaintBox6;                    ///< EQ gain scale
    PaintBox p_eq_box;                     ///< EQ curve
    PaintBox PaintBox7;                    ///< EQ frequency scale
    Tmarlo_blue_slider reset_button;       ///< "reset" of the EQ
    Label Label4;
    Label Label5;
    Tmarlo_blue_slider DryBar;
    Tmarlo_blue_slider wetbar;
    Tmarlo_blue_slider drypassbtn;
    Tmarlo_blue_slider bypassbtn;
    Tmarlo_blue_slider autogainbtn;
    Tmarlo_blue_slider add12dBbutton;
    Label Label7;
    Label Label9;
    Label Label6;
    Label Label1;
    Tmarlo_blue_slider marlo_blue_slider1; ///< "Help / About..."
    Tmarlo_blue_slider Setupbutton;
    Tmarlo_blue_slider open;
    ScrollBox ScrollBox1; ///< file list area
    PaintBox PaintBox2;  ///< the file list inside it

    // Loading indicator.
    Widget Panel1;
    Tmarlo_blue_slider loadingFace;
    LoadingIcon loadingPicture;
    Label loadingLabel;

    // Help panel.
    Widget help;
    Tmarlo_blue_slider helpTitle;
    Tmarlo_blue_slider helpClose;
    Tmarlo_blue_slider helpFace;
    TextView helpText;

    // Setup panel.
    Widget setuppanel;
    Tmarlo_blue_slider setupTitle;
    Tmarlo_blue_slider setupClose;
    Tmarlo_blue_slider setupFace;
    GroupBox cpuGroup;
    Label cpuLabel;
    Tmarlo_blue_slider dccbutton;
    GroupBox defaultFileGroup;
    Label defaultfilelabel;
    Tmarlo_blue_slider marlo_blue_slider10; ///< "..." (default file dialog)
    Label restartLine1;
    Label restartLine2;

    AlertBox alertBox;

    // ---- handlers
    void showHelp(bool shown);
    void showSetup(bool shown);
    void wetbarChanged(Tmarlo_blue_slider& sender);
    void p_eq_boxMouseDown(const MouseEvent& event);
    void p_eq_boxMouseMove(const MouseEvent& event);
    void p_eq_boxMouseUp(const MouseEvent& event);
    void openpostChanged(Tmarlo_blue_slider& sender);

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;
    void invalidateArea(const Rect& absolute) override;

private:
    void FormCreate();
    void FormShow();
    void buildControls();
    void buildPanels();

    // Handlers by role.
    void directChanged(Tmarlo_blue_slider& sender, int index);
    void shapingChanged(Tmarlo_blue_slider& sender, int index);
    void shapingPostChanged(Tmarlo_blue_slider& sender, int index);
    void shapingNothingChanged();
    void switchPostChanged(Tmarlo_blue_slider& sender, int index);
    void resetShaping();
    void resetEq();
    void dccbuttonpostChanged();
    void marlo_blue_slider10postChanged();

    /// Sends a parameter through automation and mirrors it.
    void send(int index, float value);
    /// Sends and mirrors several values with one recalculation.
    void sendAll(std::span<const ParameterValue> values);
    /// Sends the EQ values that differ from eqBeforeEdit, with one recalculation.
    void sendEqEdit();
    void setMirror(int index, float value);

    // Display hooks of the waveform, EQ and file-list areas.
    void repaintWaveform();
    void showEnvelopePreview();
    /// Takes a new snapshot of the response when the store has a newer one.
    void refreshResponse();
    /// The file name of the response in use, or why the named one is missing.
    std::string informationText() const;
    ShapingInputs mirrorShape() const;
    void repaintEqBox();
    EqValues mirrorEq() const;
    void setMirrorEq(const EqValues& values);
    void updateAutogainCaption();
    enum class ChooserPurpose
    {
        openFile,
        defaultFile,
    };
    void startChooser(ChooserPurpose purpose);
    static std::string pathTooLongMessage(const std::string& path);
    void PaintBox2Paint(Canvas& canvas);
    void PaintBox2MouseDown(const MouseEvent& event);
    void PaintBox2MouseUp(const MouseEvent& event);

    // Refresh steps.
    void setStage(const char* marker);
    void refreshSteps();
    static void showSwitch(Tmarlo_blue_slider& sender, float value, const char* offCaption, const char* onCaption);
    static void showLit(Tmarlo_blue_slider& sender, float value);
    /// Sets a slider from the mirror unless the user is dragging it.
    static void follow(Tmarlo_blue_slider& slider, float value);

    Rect dirty;   ///< to recompose
    Rect exposed; ///< to copy to the screen again

    std::array<float, parameterCount> mirror{};
    std::int32_t lastWaveVersion = -1; ///< store generation last painted
    ResponseSnapshot response;         ///< what the waveform area shows
    bool previewing = false;           ///< a shaping slider is being dragged
    std::string shownInformation;      ///< text of the information line
    std::string shownFolderFile;       ///< file the list was last built for
    TGFileselector fileSelector;
    std::unique_ptr<FileChooser> chooser; ///< while a chooser is open
    ChooserPurpose chooserPurpose = ChooserPurpose::openFile;
    EqValues lastPaintedEq{};
    EqValues eqBeforeEdit{};
    TEqCurve eqView; ///< the EQ box's own curve record
    bool fileListPressed = false;
    bool eqDragging = false;
    int eqSelected = -1; ///< EQ point under edit, 1..8, or -1

    bool timerEnabled = true;
    bool inTimer = false;
    std::string stage; ///< step in progress, for the error message

    Widget* capture = nullptr; ///< receives moves and the release
    int captureButton = 0;
};

} // namespace tam
