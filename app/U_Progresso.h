#pragma once

#include <QLabel>
#include <QWidget>

class QFrame;
class QPushButton;

namespace quillora::app {

class GradientProgressBar;

// A label drawn with a white shadow one pixel down and right: the raised-text look.
class RaisedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override;
};

// The coloured panel that fills the progress window, with its header text.
class HeaderPanel : public QWidget {
    Q_OBJECT
public:
    HeaderPanel(const QString& header, QWidget* parent);
    const QString& header() const { return header_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString header_;
};

// The progress window of the record runs: borderless, slightly translucent, centred on the
// main window's screen. It is created hidden at start-up and lives until the program ends.
class TF_Progresso : public QWidget {
    Q_OBJECT

public:
    explicit TF_Progresso(QWidget* mainWindow);

    HeaderPanel* JvNavPaneToolPanel1;
    RaisedLabel* TextoSobre;
    GradientProgressBar* PBar;
    QFrame* Bevel1;
    QPushButton* BCancelar;

    // Paints the window now, handling no input.
    void repaintNow();

public slots:
    void BCancelarClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void centreOnScreen();
    QWidget* mainWindow_;
};

// The application-wide cursor: the busy one during a run, the arrow otherwise.
void setBusyCursor(bool busy);

}  // namespace quillora::app
