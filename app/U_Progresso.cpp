#include "app/U_Progresso.h"

#include "app/Fonts.h"
#include "app/ProgressBar.h"
#include "run/RecordRun.h"
#include "toolkit/MessageBoxes.h"

#include <QApplication>
#include <QFrame>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QKeyEvent>
#include <QStyle>

namespace quillora::app {

void setBusyCursor(bool busy)
{
    const Qt::CursorShape shape = busy ? Qt::WaitCursor : Qt::ArrowCursor;
    if (QApplication::overrideCursor())
        QApplication::changeOverrideCursor(QCursor(shape));
    else if (busy)
        QApplication::setOverrideCursor(QCursor(shape));
}

void RaisedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    const int flags = int(alignment()) | Qt::TextSingleLine;
    p.setPen(Qt::white);
    p.drawText(rect().translated(1, 1), flags, text());
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect(), flags, text());
}

HeaderPanel::HeaderPanel(const QString& header, QWidget* parent) : QWidget(parent), header_(header)
{
    setAutoFillBackground(false);
}

void HeaderPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QColor colour(0xC0, 0xDC, 0xC0);  // both ends of the gradient: one flat colour
    p.fillRect(rect(), colour);
    // The header strip, a shade darker, with its caption.
    const QRect strip(0, 0, width(), 28);
    p.fillRect(strip, colour.darker(112));
    p.setPen(colour.darker(150));
    p.drawLine(strip.bottomLeft(), strip.bottomRight());
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setFont(segoeUi(12, true));
    p.setPen(Qt::black);
    p.drawText(strip.adjusted(8, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, header_);
}

TF_Progresso::TF_Progresso(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::FramelessWindowHint), mainWindow_(mainWindow)
{
    setObjectName(QStringLiteral("F_Progresso"));
    setWindowTitle(QStringLiteral("Andamento do Processo"));
    setFixedSize(453, 133);
    setWindowOpacity(245.0 / 255.0);
    setFont(tahoma(12));
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);

    JvNavPaneToolPanel1 = new HeaderPanel(QStringLiteral("Andamento do Processo"), this);
    JvNavPaneToolPanel1->setObjectName(QStringLiteral("JvNavPaneToolPanel1"));
    JvNavPaneToolPanel1->setGeometry(0, 0, 453, 133);

    TextoSobre = new RaisedLabel(JvNavPaneToolPanel1);
    TextoSobre->setObjectName(QStringLiteral("TextoSobre"));
    TextoSobre->setGeometry(16, 41, 421, 16);
    TextoSobre->setFont(tahoma(12, true));
    QPalette lp = TextoSobre->palette();
    lp.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    TextoSobre->setPalette(lp);
    TextoSobre->setAttribute(Qt::WA_TranslucentBackground);

    PBar = new GradientProgressBar(JvNavPaneToolPanel1);
    PBar->setObjectName(QStringLiteral("PBar"));
    PBar->setGeometry(16, 60, 421, 21);

    Bevel1 = new QFrame(JvNavPaneToolPanel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    // The line runs along the bottom edge of the bevel's box.
    Bevel1->setGeometry(8, 88 + 9 - 2, 437, 2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);

    BCancelar = new QPushButton(QStringLiteral("Cancelar"), JvNavPaneToolPanel1);
    BCancelar->setObjectName(QStringLiteral("BCancelar"));
    BCancelar->setGeometry(322, 102, 115, 27);
    BCancelar->setFont(tahoma(12));
    BCancelar->setIcon(QIcon::fromTheme(QStringLiteral("process-stop"),
                                        style()->standardIcon(QStyle::SP_DialogCancelButton)));
    BCancelar->setFocusPolicy(Qt::StrongFocus);
    for (QWidget* w : {static_cast<QWidget*>(JvNavPaneToolPanel1), static_cast<QWidget*>(TextoSobre),
                       static_cast<QWidget*>(PBar), static_cast<QWidget*>(Bevel1)})
        w->setFocusPolicy(Qt::NoFocus);
    connect(BCancelar, &QPushButton::clicked, this, &TF_Progresso::BCancelarClick);

    // FormCreate
    TextoSobre->clear();
    PBar->setStep(1);
}

void TF_Progresso::centreOnScreen()
{
    QScreen* screen = mainWindow_ ? mainWindow_->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void TF_Progresso::showEvent(QShowEvent* event)
{
    // FormShow
    PBar->setPosition(0);
    PBar->setMinimum(0);
    if (TextoSobre->text().isEmpty())
        TextoSobre->setText(QStringLiteral("Processando..."));
    centreOnScreen();
    QWidget::showEvent(event);
}

void TF_Progresso::hideEvent(QHideEvent* event)
{
    // FormHide
    TextoSobre->clear();
    QWidget::hideEvent(event);
}

void TF_Progresso::keyPressEvent(QKeyEvent* event)
{
    // Esc presses "Cancelar", wherever the focus is in the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BCancelar->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TF_Progresso::repaintNow()
{
    if (isVisible())
        PBar->repaint();
}

void TF_Progresso::BCancelarClick()
{
    setBusyCursor(false);
    if (toolkit::confirm(this, QStringLiteral("Cancelar a operação em andamento ?"))) {
        ProcessoCancelado = true;
        hide();
    } else {
        setBusyCursor(true);
        // Closing the question made another window active: the run goes on, and Esc must
        // reach "Cancelar" again.
        raise();
        activateWindow();
        BCancelar->setFocus(Qt::ActiveWindowFocusReason);
    }
}

}  // namespace quillora::app
