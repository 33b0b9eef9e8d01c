#include "components/widgets/LevelDisplay.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "components/SoundLevel.h"

namespace {

// The bars span this many decibels below full scale.
constexpr double kRangeDb = 60.0;
// Fall-back per tick of the timer: the whole range in about a second and a half. Twenty frames
// a second look smooth on a level bar; each frame repaints the skin beneath it.
constexpr int kFallIntervalMs = 50;
constexpr double kFallPerTick = kFallIntervalMs / 1500.0;

double Fill(double db) {
    return std::clamp(1.0 + db / kRangeDb, 0.0, 1.0);
}

}  // namespace

LevelDisplay::LevelDisplay(QWidget* parent) : QWidget(parent) {
    fallTimer_.setInterval(kFallIntervalMs);
    connect(&fallTimer_, &QTimer::timeout, this, &LevelDisplay::FallBack);
}

void LevelDisplay::ShowArray(const SampleArray& array, int channels) {
    if (array.empty() || channels < 1)
        return;
    // The RMS of the block, the level sound activation compares with its threshold, so that
    // what the bar shows is what starts a recording.
    std::array<double, 2> sums{};
    std::array<size_t, 2> counts{};
    for (size_t i = 0; i < array.size(); ++i) {
        const size_t channel = std::min<size_t>(i % channels, 1);
        sums[channel] += static_cast<double>(array[i]) * array[i];
        ++counts[channel];
    }
    if (channels == 1) {
        sums[1] = sums[0];
        counts[1] = counts[0];
    }
    for (int c = 0; c < 2; ++c)
        shown_[c] = std::max(shown_[c], Fill(RmsDbfs(sums[c], counts[c])));
    if (!fallTimer_.isActive())
        fallTimer_.start();
    update();
}

void LevelDisplay::SetMark(std::optional<double> db) {
    markFill_ = db ? std::optional(Fill(*db)) : std::nullopt;
    update();
}

void LevelDisplay::FallBack() {
    bool moving = false;
    for (double& level : shown_) {
        level = std::max(0.0, level - kFallPerTick);
        moving = moving || level > 0.0;
    }
    if (!moving)
        fallTimer_.stop();
    update();
}

void LevelDisplay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The skin shows through beneath the bars.
    QLinearGradient gradient(0, 0, width(), 0);
    gradient.setColorAt(0.0, QColor(0x2e, 0xcc, 0x71));
    gradient.setColorAt(0.75, QColor(0xf1, 0xc4, 0x0f));
    gradient.setColorAt(1.0, QColor(0xe7, 0x4c, 0x3c));
    const int gap = 2;
    const int barHeight = std::max(1, (height() - 3 * gap) / 2);
    for (int c = 0; c < 2; ++c) {
        const QRect bar(gap, gap + c * (barHeight + gap),
                        static_cast<int>((width() - 2 * gap) * shown_[c]), barHeight);
        painter.fillRect(bar, gradient);
    }
    if (markFill_) {
        const int x = gap + static_cast<int>((width() - 2 * gap) * *markFill_);
        painter.fillRect(x, 0, 1, height(), Qt::white);
    }
}
