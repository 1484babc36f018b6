// The editor's one custom control: a horizontal slider with a value box at
// its left, a vertical fader with a value box at its bottom and an optional
// two-channel level meter, or a flat push button with a caption. It paints
// itself completely into an off-screen bitmap and reports user actions
// through three events; it knows nothing of the plug-in.
//
// UI thread only. Setting a property to its current value does not repaint;
// setPositionSilently and set_vu never fire events.
#pragma once

#include "editor/Widget.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace tam
{

/// The level curve of faders and meters: 1 - sin((1 - x) * pi / 2).
float shape(float x);
/// Inverse of shape on 0..1; arguments outside 0..1 are clamped first.
float unshape(float y);
/// Rounds to the nearest integer, halves to even.
int nearest(double x);
/// Lightens (amount > 0) or darkens (amount < 0) a colour.
Color shade(Color c, double amount);
/// The bevelled box every control is built from: two edge lines on each
/// side, then the face `c` inside them.
void bevelBox(Canvas& canvas, const Rect& r, Color c, bool sunken);
/// Attenuation text of an amplitude in tenths of a decibel: "0 dB",
/// "-6.0 dB", "-oo dB" (without unit: "0", "-6.0", "-oo").
std::string decibelText(float amplitude, bool withUnit);

class Tmarlo_blue_slider : public Widget
{
public:
    static constexpr int valueBoxWidth = 40;  ///< horizontal layout, pixels
    static constexpr int valueBoxHeight = 20; ///< vertical layout, pixels
    static constexpr Font textFont{FontFace::smallFonts, 9, false};

    using Event = std::function<void(Tmarlo_blue_slider& sender)>;

    explicit Tmarlo_blue_slider(Rect area);
    ~Tmarlo_blue_slider() override;

    /// `Value`: an amplitude shape(shape(position)) for `log`, else the position.
    float getValue() const;
    void setValue(float v);
    /// Shows v without firing any event.
    void setPositionSilently(float v);
    /// Meter values: peak markers and VU bars of the left and right channel.
    void set_vu(float leftMarker, float rightMarker, float leftBar, float rightBar);

    bool getVertical() const { return Vertical; }
    void setVertical(bool value) { assign(Vertical, value); }
    bool getLog() const { return log; }
    void setLog(bool value) { assign(log, value); }
    bool getTime() const { return time; }
    void setTime(bool value) { assign(time, value); }
    bool getRela() const { return rela; }
    void setRela(bool value) { assign(rela, value); }
    bool getScal() const { return scal; }
    void setScal(bool value) { assign(scal, value); }
    bool getButton() const { return button; }
    void setButton(bool value) { assign(button, value); }
    bool getButtondown() const { return buttondown; }
    void setButtondown(bool value) { assign(buttondown, value); }
    const std::string& getCaption() const { return caption; }
    void setCaption(const std::string& value) { assign(caption, value); }
    Color getColor() const { return color; }
    void setColor(Color value) { assign(color, value); }
    Color getTextColor() const { return textColor; }
    void setTextColor(Color value) { assign(textColor, value); }
    Color getSliColor() const { return sliColor; }
    void setSliColor(Color value) { assign(sliColor, value); }
    Color getScalColor() const { return scalColor; }
    void setScalColor(Color value) { assign(scalColor, value); }

    Event OnChanged;        ///< the value changed during a drag or through setValue
    Event OnpostChanged;    ///< the mouse button was released (slider or button)
    Event OnNothingChanged; ///< released with the value it had at the press

    /// The text of a knob position, as the value box (with unit) and the
    /// scale labels (without) show it.
    std::string positionText(float p, bool withUnit) const;

    /// Brings the off-screen picture up to date and returns it.
    const Canvas& picture();

    // Inspection.
    float getPosition() const { return position; }
    bool isDragging() const { return dragging; }
    const Rect& getTrackRect() const { return trackRect; }
    const Rect& getTextRect() const { return textRect; }
    int getTravel() const { return travel; }
    const std::array<float, 4>& getMeter() const { return meter; }

    bool takesMouse() const override { return true; }
    void mouseDown(const MouseEvent& event) override;
    void mouseMove(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;
    void boundsChanged() override;

private:
    template <typename T> void assign(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        layout();
        repaint();
    }
    void repaint();
    void layout();
    void render(Canvas& canvas);
    void drawScale(Canvas& canvas);
    void drawMeter(Canvas& canvas);
    void applyDragValue(double v);
    void fire(const Event& event);

    // Properties.
    bool Vertical = false; ///< true: horizontal layout (the knob travels left to right)
    bool log = false;
    bool time = false;
    bool rela = false;
    bool scal = false;
    bool button = false;
    bool buttondown = false;
    std::string caption;
    Color color = colors::blue; ///< `Color`: track, value box and button face
    Color textColor = colors::white;
    Color sliColor = colors::aqua;
    Color scalColor = colors::white;

    // State.
    float position = 0.0f;      ///< knob position 0..1
    float pressPosition = 0.0f; ///< position at the press
    float fineBase = 0.0f;      ///< start value of Shift movement
    float coarseBase = 0.0f;    ///< start value of normal movement
    Rect textRect;
    Rect trackRect;
    int travel = 0; ///< track length, pixels
    bool dragging = false;
    Point fineRefPoint; ///< where Shift movement is measured from
    Point pressPoint;
    int trackOffset = 0;               ///< x of the track start in horizontal layout
    std::array<float, 4> meter{};      ///< display form: left/right marker, left/right bar
    std::array<float, 4> meterInput{}; ///< the set_vu arguments shown

    std::unique_ptr<Canvas> image;
    bool stale = true;
};

} // namespace tam
