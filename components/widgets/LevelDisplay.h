#pragma once

#include <QTimer>
#include <QWidget>
#include <array>

#include "components/AudioVisualizationEx2.h"

// The level display as a widget: one bar per channel (a mono array fills both), on a decibel
// scale, each falling back smoothly after a peak instead of jumping down.
class LevelDisplay : public QWidget, public AudioVisualizationEx2 {
    Q_OBJECT

public:
    explicit LevelDisplay(QWidget* parent = nullptr);

    void ShowArray(const SampleArray& array, int channels) override;
    void SetVisible(bool visible) override { setVisible(visible); }
    void SetMark(std::optional<double> db) override;

    // Shown fill of a bar, 0..1.
    double Level(int channel) const { return shown_.at(channel); }

    QSize sizeHint() const override { return {120, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FallBack();

    std::array<double, 2> shown_{};
    std::optional<double> markFill_;
    QTimer fallTimer_;
};
