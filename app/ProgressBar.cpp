#include "app/ProgressBar.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace quillora::app {

GradientProgressBar::GradientProgressBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientProgressBar::setMinimum(qint64 v)
{
    min_ = v;
    if (max_ < min_)
        max_ = min_;
    pos_ = std::clamp(pos_, min_, max_);
}

void GradientProgressBar::setMaximum(qint64 v)
{
    max_ = std::max(v, min_);
    pos_ = std::clamp(pos_, min_, max_);
}

void GradientProgressBar::setPosition(qint64 v) { pos_ = std::clamp(v, min_, max_); }

void GradientProgressBar::stepIt()
{
    const qint64 s = step_ <= 0 ? 1 : step_;
    pos_ = pos_ > max_ - s ? max_ : pos_ + s;
}

int GradientProgressBar::visibleLength() const
{
    const int inner = std::max(0, width() - 2);
    if (max_ <= min_)
        return 0;
    return int(double(pos_ - min_) * inner / double(max_ - min_));
}

void GradientProgressBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, QColor(0xFC, 0xFD, 0xDB));
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const int len = visibleLength();
    if (len > 0) {
        const QRect filled(1, 1, len, r.height() - 2);
        // The gradient spans the whole bar, so the colour at a point does not move as it fills.
        QLinearGradient g(1, 0, r.width() - 1, 0);
        g.setColorAt(0, QColor(0x00, 0x00, 0x80));
        g.setColorAt(1, QColor(0xC0, 0xC0, 0xC0));
        p.fillRect(filled, g);
    }
}

}  // namespace quillora::app
