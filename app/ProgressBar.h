#pragma once

#include <QColor>
#include <QWidget>

namespace quillora::app {

// The progress window's bar: minimum, maximum, position and step with the old program's rules
// (position clamped into the range, a maximum below the minimum raised to it, a step of zero or
// less counting as one), drawn as a gradient. Setting values never paints; the window decides
// when painting is worth it (visibleLength() tells whether the picture changed).
class GradientProgressBar : public QWidget {
    Q_OBJECT

public:
    explicit GradientProgressBar(QWidget* parent = nullptr);

    qint64 minimum() const { return min_; }
    qint64 maximum() const { return max_; }
    qint64 position() const { return pos_; }
    int step() const { return step_; }
    void setMinimum(qint64 v);
    void setMaximum(qint64 v);
    void setPosition(qint64 v);
    void setStep(int v) { step_ = v; }
    void stepIt();

    // Filled length in pixels for the current position: painting is needed only when it moves.
    int visibleLength() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    qint64 min_ = 0;
    qint64 max_ = 100;
    qint64 pos_ = 0;
    int step_ = 1;
};

}  // namespace quillora::app
