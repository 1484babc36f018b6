#include "editor/TPluginEditorWindow.h"

#include "core/APlugin.h"
#include "core/FileSystem.h"
#include "editor/Background.h"
#include "editor/HelpText.h"
#include "editor/Palette.h"
#include "editor/TGFileselector.h"
#include "impulse/LevelText.h"
#include "impulse/TWAVfile.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace tam
{

namespace
{

constexpr const char* creditText = "Designed and built by Veldrana";
constexpr const char* webAddress = "veldrana.example";
constexpr const char* versionText = "Version 1.0  -  stereo convolution reverb for VST 2 hosts";

constexpr float switchOff = 0.0f;
constexpr float switchOn = 1.0f;
constexpr float impossibleEqValue = 654.0f; ///< makes the first refresh paint the EQ box
constexpr float stretchSnapLow = 0.49f;
constexpr float stretchSnapHigh = 0.51f;
constexpr int helpMarginWidth = 250;  ///< window width minus help panel width
constexpr int helpMarginHeight = 196; ///< window height minus help panel height
constexpr int helpTitleHeight = 20;
constexpr int helpCloseWidth = 27;
constexpr int helpInset = 5;
constexpr int setupWidth = 263;
constexpr int setupHeight = 201;
constexpr int defaultFileLabelWidth = 189;

constexpr Font setupFont{FontFace::smallFonts, 11, false};
constexpr Font helpFont{FontFace::verdana, 13, false};

void setupSlider(Tmarlo_blue_slider& slider, bool horizontal)
{
    slider.setColor(palette::dark);
    slider.setTextColor(colors::white);
    slider.setSliColor(palette::slider);
    slider.setScalColor(palette::scale);
    slider.setScal(true);
    slider.setVertical(horizontal);
}

void setupButton(Tmarlo_blue_slider& button, Color face, const std::string& caption, Color text = colors::white)
{
    button.setButton(true);
    button.setColor(face);
    button.setTextColor(text);
    button.setCaption(caption);
}

/// Shortens a path from the left until it fits the width.
std::string fitPath(const std::string& path, const Font& font, int width)
{
    if (measureText(path, font).width <= width)
        return path;
    std::string tail = path;
    while (tail.size() > 1 && measureText("..." + tail, font).width > width)
        tail.erase(0, 1);
    return "..." + tail;
}

} // namespace

TPluginEditorWindow::TPluginEditorWindow(APlugin& owner, std::unique_ptr<NativeWindow> native)
    : Widget(Rect{0, 0, designWidth, designHeight}), plugin(owner), nativeWindow(std::move(native)),
      background(createCanvas(designWidth, designHeight)), backbuffer(createCanvas(designWidth, designHeight)),
      desktop(Desktop::create()),
      PaintBox3(Rect::fromSize(5, 64, 469, 15), background.get()), reversebutton(Rect::fromSize(482, 66, 54, 13)),
      PaintBox1(Rect::fromSize(6, 79, 533, 89), background.get()), Label13({6, 190}, "Predelay", palette::labelFont),
      scrollbar3(Rect::fromSize(62, 186, 338, 20)), Label42({6, 215}, "Attack", palette::labelFont),
      attackgain_slider(Rect::fromSize(62, 211, 163, 20)), attacktime_slider(Rect::fromSize(234, 211, 166, 20)),
      Label20({6, 240}, "Envelope", palette::labelFont), Scrollbar4(Rect::fromSize(62, 236, 338, 20)),
      Label2({6, 265}, "Length", palette::labelFont), scrollbar6(Rect::fromSize(62, 261, 338, 20)),
      Label18({6, 290}, "Stretch", palette::labelFont), pitch_slider(Rect::fromSize(62, 286, 338, 20)),
      Label10({6, 315}, "Stereo In/IR", palette::labelFont), marlo_blue_slider3(Rect::fromSize(62, 311, 163, 20)),
      scrollbar5(Rect::fromSize(234, 311, 166, 20)), marlo_blue_slider8(Rect::fromSize(0, 330, 33, 11)),
      PaintBox6(Rect::fromSize(5, 355, 33, 92), background.get()),
      p_eq_box(Rect::fromSize(42, 353, 346, 94), background.get()),
      PaintBox7(Rect::fromSize(44, 449, 343, 13), background.get()), reset_button(Rect::fromSize(0, 453, 33, 11)),
      Label4({431, 182}, "Dry", palette::labelFont), Label5({497, 182}, "Wet", palette::labelFont),
      DryBar(Rect::fromSize(410, 198, 60, 206)), wetbar(Rect::fromSize(477, 198, 60, 206)),
      drypassbtn(Rect::fromSize(410, 412, 60, 19)), bypassbtn(Rect::fromSize(477, 412, 60, 19)),
      autogainbtn(Rect::fromSize(410, 439, 85, 19)), add12dBbutton(Rect::fromSize(502, 439, 34, 19)),
      Label7({177, 8}, "Impulse Response Processor", palette::titleFont), Label9({177, 23}, "", palette::labelFont),
      Label6({331, 23}, "", palette::defaultFont), Label1({126, 38}, versionText, palette::versionFont),
      marlo_blue_slider1(Rect::fromSize(468, 8, 70, 17)), Setupbutton(Rect::fromSize(468, 34, 69, 17)),
      open(Rect::fromSize(557, 8, 173, 17)), ScrollBox1(Rect::fromSize(557, 32, 173, 426), palette::dark),
      PaintBox2(Rect::fromSize(0, 0, 173, 2), nullptr), Panel1(Rect::fromSize(589, 202, 116, 67)),
      loadingFace(Rect::fromSize(0, 0, 116, 67)), loadingPicture(Rect::fromSize(39, 5, 32, 34)),
      loadingLabel({33, 44}, "loading...", palette::labelFont), help(Rect::fromSize(75, 97, 500, 265)),
      helpTitle(Rect::fromSize(0, 0, 500, helpTitleHeight)),
      helpClose(Rect::fromSize(500 - helpCloseWidth, 0, helpCloseWidth, helpTitleHeight)),
      helpFace(Rect::fromSize(0, helpTitleHeight, 500, 265 - helpTitleHeight)),
      helpText(Rect::fromSize(helpInset, helpTitleHeight + helpInset, 500 - 2 * helpInset,
                              265 - helpTitleHeight - 2 * helpInset),
               helpFont, colors::black, palette::slider),
      setuppanel(Rect::fromSize(0, 0, setupWidth, setupHeight)), setupTitle(Rect::fromSize(0, 0, 233, 18)),
      setupClose(Rect::fromSize(231, 0, 32, 18)), setupFace(Rect::fromSize(0, 18, 263, 183)),
      cpuGroup(Rect::fromSize(17, 28, 228, 69), " CPU mode ", palette::slider, colors::black),
      cpuLabel({12, 16}, "Free up unused CPU capacity ", setupFont, colors::black),
      dccbutton(Rect::fromSize(12, 34, 194, 20)),
      defaultFileGroup(Rect::fromSize(17, 116, 228, 37), " Default File ", palette::slider, colors::black),
      defaultfilelabel({12, 16}, "<none>", setupFont, colors::black, defaultFileLabelWidth),
      marlo_blue_slider10(Rect::fromSize(206, 11, 14, 20)),
      restartLine1({20, 166}, "To ensure the changes take effect on all ", setupFont, colors::black),
      restartLine2({20, 181}, "TAM instances, restart your VST-Host application", setupFont, colors::black),
      alertBox(Rect{0, 0, designWidth, designHeight})
{
    FormCreate();
}

TPluginEditorWindow::~TPluginEditorWindow() = default;

void TPluginEditorWindow::attach(std::unique_ptr<NativeWindow> native)
{
    nativeWindow = std::move(native);
    exposed = Rect{0, 0, designWidth, designHeight};
}

Size TPluginEditorWindow::clientSize() const
{
    return nativeWindow ? nativeWindow->clientSize() : Size{designWidth, designHeight};
}

// -------------------------------------------------------- creation, showing

void TPluginEditorWindow::FormCreate()
{
    lastWaveVersion = -1;
    shownFolderFile.clear();
    lastPaintedEq.fill(0.0f);
    lastPaintedEq[1] = impossibleEqValue;
    eqView.initCurve();
    drawBackground(*background);
    buildControls();
    buildPanels();
    dirty = Rect{0, 0, designWidth, designHeight};
}

void TPluginEditorWindow::buildControls()
{
    setupButton(reversebutton, palette::slider, "reverse");
    reversebutton.OnpostChanged = [this](Tmarlo_blue_slider& s) { switchPostChanged(s, param::reverse); };

    setupSlider(scrollbar3, true);
    scrollbar3.setTime(true);
    scrollbar3.OnChanged = [this](Tmarlo_blue_slider& s) { directChanged(s, param::predelay); };

    struct Shaping
    {
        Tmarlo_blue_slider& slider;
        int index;
    };
    for (const Shaping& shaping : {Shaping{attackgain_slider, param::attackLevel},
                                   Shaping{attacktime_slider, param::attackTime}, Shaping{Scrollbar4, param::envelope},
                                   Shaping{scrollbar6, param::length}, Shaping{pitch_slider, param::stretch}})
    {
        setupSlider(shaping.slider, true);
        const int index = shaping.index;
        shaping.slider.OnChanged = [this, index](Tmarlo_blue_slider& s) { shapingChanged(s, index); };
        shaping.slider.OnpostChanged = [this, index](Tmarlo_blue_slider& s) { shapingPostChanged(s, index); };
        shaping.slider.OnNothingChanged = [this](Tmarlo_blue_slider&) { shapingNothingChanged(); };
    }
    attacktime_slider.setTime(true);
    pitch_slider.setRela(true);

    setupSlider(marlo_blue_slider3, true);
    marlo_blue_slider3.OnChanged = [this](Tmarlo_blue_slider& s) { directChanged(s, param::stereoRouting); };

    // Like a shaping slider without preview.
    setupSlider(scrollbar5, true);
    scrollbar5.OnChanged = [this](Tmarlo_blue_slider& s) { setMirror(param::stereo, s.getValue()); };
    scrollbar5.OnpostChanged = [this](Tmarlo_blue_slider& s) { shapingPostChanged(s, param::stereo); };
    scrollbar5.OnNothingChanged = [this](Tmarlo_blue_slider&) { shapingNothingChanged(); };

    setupButton(marlo_blue_slider8, palette::slider, "reset");
    marlo_blue_slider8.OnpostChanged = [this](Tmarlo_blue_slider&) { resetShaping(); };
    setupButton(reset_button, palette::slider, "reset");
    reset_button.OnpostChanged = [this](Tmarlo_blue_slider&) { resetEq(); };

    for (Tmarlo_blue_slider* fader : {&DryBar, &wetbar})
    {
        setupSlider(*fader, false);
        fader->setLog(true);
    }
    DryBar.OnChanged = [this](Tmarlo_blue_slider& s) { directChanged(s, param::dry); };
    wetbar.OnChanged = [this](Tmarlo_blue_slider& s) { wetbarChanged(s); };

    setupButton(drypassbtn, palette::switchFace, "OFF");
    drypassbtn.OnpostChanged = [this](Tmarlo_blue_slider& s) { switchPostChanged(s, param::muteDry); };
    setupButton(bypassbtn, palette::switchFace, "OFF");
    bypassbtn.OnpostChanged = [this](Tmarlo_blue_slider& s) { switchPostChanged(s, param::bypass); };
    setupButton(autogainbtn, palette::switchFace, "AUTO GAIN OFF");
    autogainbtn.OnpostChanged = [this](Tmarlo_blue_slider& s) { switchPostChanged(s, param::autogain); };
    setupButton(add12dBbutton, palette::switchFace, "+12dB");
    add12dBbutton.OnpostChanged = [this](Tmarlo_blue_slider& s) { switchPostChanged(s, param::add12dB); };

    setupButton(marlo_blue_slider1, palette::slider, "Help / About...");
    marlo_blue_slider1.OnpostChanged = [this](Tmarlo_blue_slider&) { showHelp(!help.isVisible()); };
    setupButton(Setupbutton, palette::slider, "Setup");
    Setupbutton.OnpostChanged = [this](Tmarlo_blue_slider&) { showSetup(!setuppanel.isVisible()); };
    setupButton(open, palette::switchFace, "Open File");
    open.OnpostChanged = [this](Tmarlo_blue_slider& s) { openpostChanged(s); };

    PaintBox1.OnPaint = [this](PaintBox&, Canvas& canvas) {
        if (previewing)
            drawEnvelopePreview(canvas, response, mirrorShape());
        else
            drawWaveform(canvas, response);
    };
    PaintBox3.OnPaint = [this](PaintBox&, Canvas& canvas) { drawInformationLine(canvas, shownInformation); };
    p_eq_box.OnPaint = [this](PaintBox&, Canvas& canvas) { drawEqBox(canvas, mirrorEq(), eqView); };
    p_eq_box.OnMouseDown = [this](const MouseEvent& e) { p_eq_boxMouseDown(e); };
    p_eq_box.OnMouseMove = [this](const MouseEvent& e) { p_eq_boxMouseMove(e); };
    p_eq_box.OnMouseUp = [this](const MouseEvent& e) { p_eq_boxMouseUp(e); };
    PaintBox6.OnPaint = [](PaintBox&, Canvas& canvas) { drawEqLevelScale(canvas); };
    PaintBox7.OnPaint = [](PaintBox&, Canvas& canvas) { drawEqFrequencyScale(canvas); };
    PaintBox2.OnPaint = [this](PaintBox&, Canvas& canvas) { PaintBox2Paint(canvas); };
    PaintBox2.OnMouseDown = [this](const MouseEvent& e) { PaintBox2MouseDown(e); };
    PaintBox2.OnMouseUp = [this](const MouseEvent& e) { PaintBox2MouseUp(e); };

    for (Widget* child : std::initializer_list<Widget*>{&PaintBox3,
                                                        &reversebutton,
                                                        &PaintBox1,
                                                        &Label13,
                                                        &scrollbar3,
                                                        &Label42,
                                                        &attackgain_slider,
                                                        &attacktime_slider,
                                                        &Label20,
                                                        &Scrollbar4,
                                                        &Label2,
                                                        &scrollbar6,
                                                        &Label18,
                                                        &pitch_slider,
                                                        &Label10,
                                                        &marlo_blue_slider3,
                                                        &scrollbar5,
                                                        &marlo_blue_slider8,
                                                        &PaintBox6,
                                                        &p_eq_box,
                                                        &PaintBox7,
                                                        &reset_button,
                                                        &Label4,
                                                        &Label5,
                                                        &DryBar,
                                                        &wetbar,
                                                        &drypassbtn,
                                                        &bypassbtn,
                                                        &autogainbtn,
                                                        &add12dBbutton,
                                                        &Label7,
                                                        &Label9,
                                                        &Label6,
                                                        &Label1,
                                                        &marlo_blue_slider1,
                                                        &Setupbutton,
                                                        &open,
                                                        &ScrollBox1})
        add(*child);
    ScrollBox1.setContent(PaintBox2);
    ScrollBox1.setContentHeight(fileSelector.listHeight());
}

void TPluginEditorWindow::buildPanels()
{
    setupButton(loadingFace, palette::loadingFace, "");
    Panel1.add(loadingFace);
    Panel1.add(loadingPicture);
    Panel1.add(loadingLabel);
    Panel1.setVisible(false);
    add(Panel1);

    setupButton(helpTitle, palette::dark, "Help / About...");
    helpTitle.OnpostChanged = [this](Tmarlo_blue_slider&) { showHelp(false); };
    setupButton(helpClose, palette::slider, "X", colors::black);
    helpClose.OnpostChanged = [this](Tmarlo_blue_slider&) { showHelp(false); };
    setupButton(helpFace, palette::slider, "");
    helpText.setText(helpTextContent());
    for (Widget* child : std::initializer_list<Widget*>{&helpFace, &helpText, &helpTitle, &helpClose})
        help.add(*child);
    help.setVisible(false);
    add(help);

    setupButton(setupTitle, palette::dark, "Setup");
    setupButton(setupClose, palette::slider, "X", colors::black);
    setupClose.OnpostChanged = [this](Tmarlo_blue_slider&) { showSetup(false); };
    setupButton(setupFace, palette::slider, "");
    setupButton(dccbutton, palette::slider, "dynamic CPU consumption", colors::black);
    dccbutton.OnpostChanged = [this](Tmarlo_blue_slider&) { dccbuttonpostChanged(); };
    setupButton(marlo_blue_slider10, palette::slider, "...", colors::black);
    marlo_blue_slider10.OnpostChanged = [this](Tmarlo_blue_slider&) { marlo_blue_slider10postChanged(); };
    cpuGroup.add(cpuLabel);
    cpuGroup.add(dccbutton);
    defaultFileGroup.add(defaultfilelabel);
    defaultFileGroup.add(marlo_blue_slider10);
    for (Widget* child : std::initializer_list<Widget*>{&setupFace, &setupTitle, &setupClose, &cpuGroup,
                                                        &defaultFileGroup, &restartLine1, &restartLine2})
        setuppanel.add(*child);
    setuppanel.setVisible(false);
    add(setuppanel);

    add(alertBox);
}

void TPluginEditorWindow::FormShow()
{
    ScrollBox1.invalidate(); // the list area in its dark colour
    fileListPressed = false;
    Label9.setText(creditText);
    Label6.setText(webAddress);
    eqDragging = false;
    eqSelected = -1;
    refreshList(true);
}

void TPluginEditorWindow::showWindow()
{
    FormShow();
    if (nativeWindow)
        nativeWindow->show();
    exposed = Rect{0, 0, designWidth, designHeight};
}

void TPluginEditorWindow::hideWindow()
{
    if (nativeWindow)
        nativeWindow->hide();
}

void TPluginEditorWindow::loadMirror()
{
    for (int i = 0; i < parameterCount; ++i)
        mirror[static_cast<std::size_t>(i)] = plugin.getParameter(i);
}

float TPluginEditorWindow::mirrorValue(int index) const
{
    return index >= 0 && index < parameterCount ? mirror[static_cast<std::size_t>(index)] : 0.0f;
}

void TPluginEditorWindow::setMirror(int index, float value)
{
    mirror[static_cast<std::size_t>(index)] = value;
}

void TPluginEditorWindow::send(int index, float value)
{
    setMirror(index, value);
    plugin.setParameterAutomated(index, value);
}

// ---------------------------------------------------------------- handlers

void TPluginEditorWindow::directChanged(Tmarlo_blue_slider& sender, int index)
{
    send(index, sender.getValue());
}

void TPluginEditorWindow::wetbarChanged(Tmarlo_blue_slider& sender)
{
    directChanged(sender, param::wet);
}

void TPluginEditorWindow::shapingChanged(Tmarlo_blue_slider& sender, int index)
{
    // Only a preview while dragging: the response is recomputed on release.
    setMirror(index, sender.getValue());
    showEnvelopePreview();
}

void TPluginEditorWindow::shapingPostChanged(Tmarlo_blue_slider& sender, int index)
{
    float value = sender.getValue();
    if (index == param::stretch && value > stretchSnapLow && value < stretchSnapHigh)
        value = 0.5f; // 100 %; the slider follows at the next refresh
    send(index, value);
    // The new response replaces the preview as soon as it exists.
    previewing = false;
    refreshResponse();
    repaintWaveform();
}

void TPluginEditorWindow::shapingNothingChanged()
{
    previewing = false;
    repaintWaveform();
}

void TPluginEditorWindow::switchPostChanged(Tmarlo_blue_slider& sender, int index)
{
    const float next = mirrorValue(index) != switchOff ? switchOff : switchOn;
    send(index, next);
    // The other switches take their look from the refresh.
    if (&sender == &reversebutton)
        reversebutton.setButtondown(next == switchOn);
}

void TPluginEditorWindow::sendAll(std::span<const ParameterValue> values)
{
    for (const ParameterValue& v : values)
        setMirror(v.index, v.value);
    plugin.setParameters(values, Automate::yes);
}

void TPluginEditorWindow::resetShaping()
{
    const ParameterValue values[] = {{param::predelay, 0.0f},     {param::envelope, 0.0f},  {param::length, 1.0f},
                                     {param::stretch, 0.5f},      {param::stereo, 1.0f},    {param::stereoRouting, 1.0f},
                                     {param::attackLevel, 1.0f}, {param::attackTime, 0.0f}};
    sendAll(values);
}

void TPluginEditorWindow::resetEq()
{
    eqBeforeEdit = mirrorEq();
    setMirrorEq({});
    sendEqEdit();
}

void TPluginEditorWindow::sendEqEdit()
{
    // Positions of points 1 to 8 first, then their factors; only what the
    // gesture changed, and one recalculation even when nothing did.
    std::vector<ParameterValue> changed;
    for (int first : {0, 1})
        for (int i = first; i < eqPointValueCount; i += 2)
            if (mirrorValue(param::eqFirst + i) != eqBeforeEdit[static_cast<std::size_t>(i)])
                changed.push_back({param::eqFirst + i, mirrorValue(param::eqFirst + i)});
    plugin.setParameters(changed, Automate::yes);
}

void TPluginEditorWindow::showHelp(bool shown)
{
    if (shown)
    {
        const int w = designWidth - helpMarginWidth;
        const int h = designHeight - helpMarginHeight;
        help.setBounds(Rect::fromSize(75, 97, w, h));
        // The title bar, the face and the text follow the panel's size.
        helpTitle.setBounds(Rect::fromSize(0, 0, w, helpTitleHeight));
        helpClose.setBounds(Rect::fromSize(w - helpCloseWidth, 0, helpCloseWidth, helpTitleHeight));
        helpFace.setBounds(Rect::fromSize(0, helpTitleHeight, w, h - helpTitleHeight));
        helpText.setBounds(Rect::fromSize(helpInset, helpTitleHeight + helpInset, w - 2 * helpInset,
                                          h - helpTitleHeight - 2 * helpInset));
        raise(help);
    }
    help.setVisible(shown);
    marlo_blue_slider1.setButtondown(shown);
}

void TPluginEditorWindow::showSetup(bool shown)
{
    if (shown)
    {
        setuppanel.setBounds(Rect::fromSize(designWidth / 2 - setupWidth / 2, designHeight / 2 - setupHeight / 2,
                                            setupWidth, setupHeight));
        dccbutton.setButtondown(plugin.getDcc());
        defaultfilelabel.setText(fitPath(plugin.getDefaultFileText(), setupFont, defaultFileLabelWidth));
        raise(setuppanel);
    }
    setuppanel.setVisible(shown);
    Setupbutton.setButtondown(shown);
}

void TPluginEditorWindow::dccbuttonpostChanged()
{
    plugin.setDcc(!plugin.getDcc());
    dccbutton.setButtondown(plugin.getDcc());
}

void TPluginEditorWindow::marlo_blue_slider10postChanged()
{
    startChooser(ChooserPurpose::defaultFile);
}

void TPluginEditorWindow::openpostChanged(Tmarlo_blue_slider& sender)
{
    (void)sender;
    startChooser(ChooserPurpose::openFile);
}

// ------------------------------------------------------ choosers and loads

void TPluginEditorWindow::startChooser(ChooserPurpose purpose)
{
    if (chooser)
        return; // one chooser at a time; a second click does nothing
    FileChooserOptions options;
    options.title = purpose == ChooserPurpose::openFile ? "Open File" : "Default File";
    const std::string current = trimmed(plugin.pendingFileName());
    if (!current.empty())
        options.startFolder = folderOf(current);
    chooserPurpose = purpose;
    if (purpose == ChooserPurpose::openFile)
        open.setButtondown(true);
    else
        marlo_blue_slider10.setButtondown(true);
    chooser = desktop->chooseFile(options, nativeWindow.get());
    pollChooser(); // a modal platform dialog has finished already
}

void TPluginEditorWindow::pollChooser()
{
    if (!chooser)
        return;
    const FileChooser::Status status = chooser->poll();
    if (status == FileChooser::Status::running)
        return;
    const std::string path = chooser->path();
    const std::string why = chooser->message();
    chooser.reset();
    open.setButtondown(false);
    marlo_blue_slider10.setButtondown(false);
    if (status == FileChooser::Status::failed)
    {
        showMessage(why);
        return;
    }
    if (chooserPurpose == ChooserPurpose::openFile)
    {
        if (status == FileChooser::Status::chosen)
            loadFile(path, true);
        return;
    }
    // The default file: a choice sets it, Cancel clears it.
    if (status == FileChooser::Status::chosen && static_cast<int>(path.size()) > maxFileNameLength)
    {
        showMessage(pathTooLongMessage(path));
        return;
    }
    plugin.setDefaultFile(status == FileChooser::Status::chosen ? path : std::string());
    defaultfilelabel.setText(fitPath(plugin.getDefaultFileText(), setupFont, defaultFileLabelWidth));
}

std::string TPluginEditorWindow::pathTooLongMessage(const std::string& path)
{
    return "ERROR: \"" + path + "\" is longer than the " + std::to_string(maxFileNameLength) +
           " characters a project can keep.";
}

void TPluginEditorWindow::loadFile(const std::string& fileName, bool fromDialog)
{
    if (!fileExists(fileName))
        showMessage("ERROR: \"" + fileName + "\" file not existent.");
    else if (static_cast<int>(fileName.size()) > maxFileNameLength)
        showMessage(pathTooLongMessage(fileName));
    else
    {
        // The store is read, the name carried by the parameters, the engine
        // reset and the response shaped; the previous response stays if the
        // file cannot be read.
        const APlugin::FileLoadResult result = plugin.openFile(fileName);
        if (!result.loaded)
            showMessage("ERROR: Cannot load file:" + result.errorText + ": " + fileName);
        else
        {
            for (int i = param::fileChecksum; i <= param::fileNameLast; ++i)
                setMirror(i, plugin.getParameter(i));
            if (result.clipped)
                send(param::autogain, switchOn);
            plugin.selectAutogainFactor();
            updateAutogainCaption();
            refreshList(fromDialog);
            if (result.tooLong)
                showMessage("WAV file too long, the rear part is cut off!");
        }
    }
    refreshResponse();
    repaintWaveform();
}

void TPluginEditorWindow::onFilesDropped(const std::vector<std::string>& paths, Point point)
{
    (void)point;
    if (!paths.empty())
        loadFile(paths.front(), true);
}

void TPluginEditorWindow::onKeyDown(Key key)
{
    if (key == Key::enter && alertBox.isVisible())
        alertBox.dismiss();
}

// -------------------------------------------------------------- file list

void TPluginEditorWindow::PaintBox2Paint(Canvas& canvas)
{
    fileSelector.drawList(canvas, plugin.pendingFileName());
}

void TPluginEditorWindow::PaintBox2MouseDown(const MouseEvent& event)
{
    (void)event;
    raise(Panel1);
    Panel1.setVisible(true);
    fileListPressed = true;
}

void TPluginEditorWindow::PaintBox2MouseUp(const MouseEvent& event)
{
    if (!fileListPressed)
        return;
    fileListPressed = false;
    std::string fullName;
    if (fileSelector.nameAt(event.point.y, plugin.pendingFileName(), fullName))
        loadFile(fullName, false); // the row under the release
    Panel1.setVisible(false);
}

void TPluginEditorWindow::refreshList(bool scroll)
{
    const std::string pending = plugin.pendingFileName();
    const bool changed = plugin.fileChanged.load(std::memory_order_acquire);
    if (pending == shownFolderFile && !changed)
        return;
    if (trimmed(pending).empty())
        return;
    if (changed)
        plugin.fileChanged.store(false, std::memory_order_release);
    shownFolderFile = pending;
    fileSelector.buildList(pending, *desktop);
    ScrollBox1.setContentHeight(fileSelector.listHeight());
    PaintBox2.repaint();
    if (scroll)
        ScrollBox1.scrollTo(fileSelector.selectedTop(pending) - ScrollBox1.height() / 2);
}

// ------------------------------------------------------- display hooks

void TPluginEditorWindow::repaintWaveform()
{
    PaintBox1.repaint();
    PaintBox3.repaint();
}

void TPluginEditorWindow::showEnvelopePreview()
{
    previewing = true;
    PaintBox1.repaint();
}

ShapingInputs TPluginEditorWindow::mirrorShape() const
{
    // Only the values the envelope depends on; the preview ignores the rest.
    ShapingInputs shape = response.shaping;
    shape.reverse = mirrorValue(param::reverse);
    shape.length = mirrorValue(param::length);
    shape.envelope = mirrorValue(param::envelope);
    shape.attackTime = mirrorValue(param::attackTime);
    shape.attackLevel = mirrorValue(param::attackLevel);
    shape.stretch = mirrorValue(param::stretch);
    return shape;
}

void TPluginEditorWindow::refreshResponse()
{
    if (plugin.store().getGeneration() == lastWaveVersion)
        return;
    // While a load or calculation runs the store is not read; the next tick
    // tries again.
    const WaveformGeometry geometry{PaintBox1.width(), PaintBox1.height()};
    if (plugin.tryReadResponse([this, &geometry](const TWAVfile& store) { response = takeSnapshot(store, geometry); }))
    {
        lastWaveVersion = response.generation;
        repaintWaveform();
    }
}

std::string TPluginEditorWindow::informationText() const
{
    const std::string requested = plugin.requestedFileName();
    if (!requested.empty() && requested != response.fileName && !fileExists(requested))
        return "File not found: " + requested;
    return response.fileName;
}

void TPluginEditorWindow::repaintEqBox()
{
    p_eq_box.repaint();
}

EqValues TPluginEditorWindow::mirrorEq() const
{
    EqValues values{};
    for (int i = 0; i < eqPointValueCount; ++i)
        values[static_cast<std::size_t>(i)] = mirrorValue(param::eqFirst + i);
    return values;
}

void TPluginEditorWindow::setMirrorEq(const EqValues& values)
{
    for (int i = 0; i < eqPointValueCount; ++i)
        setMirror(param::eqFirst + i, values[static_cast<std::size_t>(i)]);
}

// ------------------------------------------------------------------ EQ box

void TPluginEditorWindow::p_eq_boxMouseDown(const MouseEvent& event)
{
    eqBeforeEdit = mirrorEq();
    if (event.button == 1)
    {
        eqDragging = true;
        p_eq_boxMouseMove(event); // adds a point or picks the one under the mouse
    }
    else if (event.button == 3)
    {
        EqValues values = mirrorEq();
        eqEditStep(event.point, {p_eq_box.width(), p_eq_box.height()}, EqEditMode::remove, eqSelected, values);
        setMirrorEq(values);
        repaintEqBox();
    }
}

void TPluginEditorWindow::p_eq_boxMouseMove(const MouseEvent& event)
{
    if (!eqDragging)
        return;
    EqValues values = mirrorEq();
    eqEditStep(event.point, {p_eq_box.width(), p_eq_box.height()}, EqEditMode::addOrMove, eqSelected, values);
    setMirrorEq(values);
    lastPaintedEq = values; // painted here, not again by the refresh
    repaintEqBox();
}

void TPluginEditorWindow::p_eq_boxMouseUp(const MouseEvent& event)
{
    // The plug-in hears of the gesture only now, with one recalculation.
    sendEqEdit();
    eqDragging = false;
    if (eqSelected == noEqPoint && event.button == 1 && eqFull(mirrorEq()))
        showMessage("Maximum 8 Filter Points!");
    eqSelected = noEqPoint;
}

void TPluginEditorWindow::updateAutogainCaption()
{
    if (mirrorValue(param::autogain) != switchOn)
        return;
    const float factor = plugin.getAutogainFactor();
    autogainbtn.setCaption("GAIN " + amplitudeText(factor / APlugin::autogainOffFactor));
}

// ------------------------------------------------------------------ refresh

void TPluginEditorWindow::setStage(const char* marker)
{
    stage = marker;
    if (stageObserver)
        stageObserver(stage);
}

void TPluginEditorWindow::updaterTimer()
{
    if (!timerEnabled || inTimer)
        return;
    inTimer = true;
    std::string failure;
    bool failed = false;
    try
    {
        refreshSteps();
    }
    catch (const std::exception& error)
    {
        failed = true;
        failure = error.what();
    }
    catch (...)
    {
        failed = true;
        failure = "unknown error";
    }
    inTimer = false;
    if (failed)
    {
        // This window stops refreshing; a new window starts a new timer.
        timerEnabled = false;
        showMessage("TAM GUI-Error: " + stage + " => " + failure + " Copy this error and send to the author via email");
    }
}

void TPluginEditorWindow::follow(Tmarlo_blue_slider& slider, float value)
{
    // A control under the mouse belongs to the user until the release.
    if (!slider.isDragging())
        slider.setPositionSilently(value);
}

void TPluginEditorWindow::showSwitch(Tmarlo_blue_slider& sender, float value, const char* offCaption,
                                     const char* onCaption)
{
    if (value == switchOn && sender.getButtondown())
    {
        sender.setCaption(offCaption);
        sender.setButtondown(false);
    }
    else if (value == switchOff && !sender.getButtondown())
    {
        sender.setCaption(onCaption);
        sender.setButtondown(true);
    }
}

void TPluginEditorWindow::showLit(Tmarlo_blue_slider& sender, float value)
{
    if (value == switchOff && sender.getButtondown())
        sender.setButtondown(false);
    else if (value == switchOn && !sender.getButtondown())
        sender.setButtondown(true);
}

void TPluginEditorWindow::refreshSteps()
{
    setStage("400");
    refreshResponse();

    setStage("500");
    std::string information = informationText();
    if (information != shownInformation)
    {
        shownInformation = std::move(information);
        PaintBox3.repaint();
    }
    updateAutogainCaption();
    refreshList(true);
    const ConvolutionEngine::Meters meters = plugin.getEngine().readMeters();
    follow(DryBar, mirrorValue(param::dry));
    DryBar.set_vu(meters.dryPeak[0], meters.dryPeak[1], meters.dryVu[0], meters.dryVu[1]);

    setStage("600");
    follow(scrollbar3, mirrorValue(param::predelay));
    follow(wetbar, mirrorValue(param::wet));
    wetbar.set_vu(meters.wetPeak[0], meters.wetPeak[1], meters.wetVu[0], meters.wetVu[1]);

    setStage("700");
    follow(Scrollbar4, mirrorValue(param::envelope));
    follow(scrollbar6, mirrorValue(param::length));
    follow(pitch_slider, mirrorValue(param::stretch));
    follow(scrollbar5, mirrorValue(param::stereo));

    setStage("800");
    follow(attacktime_slider, mirrorValue(param::attackTime));
    follow(attackgain_slider, mirrorValue(param::attackLevel));
    follow(marlo_blue_slider3, mirrorValue(param::stereoRouting));

    setStage("900");
    showSwitch(bypassbtn, mirrorValue(param::bypass), "OFF", "ON");

    setStage("1000");
    showLit(reversebutton, mirrorValue(param::reverse));
    showLit(add12dBbutton, mirrorValue(param::add12dB));

    setStage("1100");
    showSwitch(drypassbtn, mirrorValue(param::muteDry), "OFF", "ON");
    const float autogain = mirrorValue(param::autogain);
    if (autogain == switchOff && autogainbtn.getButtondown())
    {
        autogainbtn.setCaption("Auto Gain OFF");
        autogainbtn.setButtondown(false);
    }
    else if (autogain == switchOn && !autogainbtn.getButtondown())
    {
        autogainbtn.setButtondown(true);
    }
    updateAutogainCaption();

    setStage("1200");
    bool eqChanged = false;
    for (int i = 0; i < eqPointValueCount; ++i)
        eqChanged = eqChanged || mirrorValue(param::eqFirst + i) != lastPaintedEq[static_cast<std::size_t>(i)];
    if (eqChanged && !eqDragging)
    {
        repaintEqBox();
        for (int i = 0; i < eqPointValueCount; ++i)
            lastPaintedEq[static_cast<std::size_t>(i)] = mirrorValue(param::eqFirst + i);
    }

    setStage("1300");
    const int clip = plugin.getEngine().takeClipState();
    if (clip == 1)
        wetbar.setSliColor(colors::yellow);
    else if (clip == 2)
        wetbar.setSliColor(colors::red);
    else if (wetbar.getSliColor() != palette::slider)
        wetbar.setSliColor(palette::slider);

    setStage("1500");
}

// ------------------------------------------------------- messages and input

void TPluginEditorWindow::showMessage(const std::string& text)
{
    if (desktop->showAlert(text, nativeWindow.get()))
        return; // the platform's own modal box, already dismissed
    raise(alertBox);
    alertBox.showMessage(text);
}

void TPluginEditorWindow::onMouseDown(const MouseEvent& event)
{
    if (capture != nullptr)
        return; // a second button while one is held
    Widget* target = alertBox.isVisible() ? alertBox.hitTest(event.point) : hitTest(event.point);
    if (target == nullptr || target == this)
        return;
    capture = target;
    captureButton = event.button;
    const Rect area = target->absoluteRect();
    target->mouseDown({{event.point.x - area.left, event.point.y - area.top}, event.button, event.shift});
}

void TPluginEditorWindow::onMouseMove(const MouseEvent& event)
{
    if (capture == nullptr)
        return;
    const Rect area = capture->absoluteRect();
    capture->mouseMove({{event.point.x - area.left, event.point.y - area.top}, captureButton, event.shift});
}

void TPluginEditorWindow::onMouseUp(const MouseEvent& event)
{
    if (capture == nullptr || event.button != captureButton)
        return;
    Widget* target = capture;
    capture = nullptr; // the handler may open a message box or hide the panel
    const Rect area = target->absoluteRect();
    target->mouseUp({{event.point.x - area.left, event.point.y - area.top}, event.button, event.shift});
}

void TPluginEditorWindow::onWheel(Point point, int steps)
{
    if (alertBox.isVisible())
        return;
    if (Widget* target = hitTest(point))
    {
        if (target == &PaintBox2)
            target = &ScrollBox1; // the list scrolls under the wheel
        const Rect area = target->absoluteRect();
        target->wheel({point.x - area.left, point.y - area.top}, steps);
    }
}

void TPluginEditorWindow::onExpose(const Rect& area)
{
    exposed = exposed.unite(area);
}

// ------------------------------------------------------------ composition

void TPluginEditorWindow::paint(Canvas& target, Point at, const Rect& clip)
{
    (void)at;
    target.copyFrom(*background, clip, clip.topLeft());
}

void TPluginEditorWindow::invalidateArea(const Rect& absolute)
{
    dirty = dirty.unite(absolute.intersect({0, 0, designWidth, designHeight}));
}

const Canvas& TPluginEditorWindow::frame()
{
    if (!dirty.empty())
    {
        const Rect area = dirty;
        dirty = {};
        compose(*backbuffer, {0, 0}, area);
        exposed = exposed.unite(area);
    }
    return *backbuffer;
}

void TPluginEditorWindow::flush()
{
    frame();
    if (nativeWindow && !exposed.empty())
        nativeWindow->present(*backbuffer, exposed);
    exposed = {};
}

void TPluginEditorWindow::processEvents()
{
    if (nativeWindow)
        nativeWindow->processEvents();
    pollChooser();
}

} // namespace tam
