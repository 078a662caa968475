#include "views/ui/U_Filtro.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/filter/FilterCondition.h"
#include "toolkit/MessageBoxes.h"
#include "views/ui/ViewFonts.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <optional>

namespace quillora::views {

namespace {

// Check mark and cross drawn here: icon themes do not have them everywhere.
QIcon drawnIcon(bool check)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(check ? QColor(0, 128, 0) : QColor(192, 0, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
    if (check) {
        p.drawLine(QPointF(3, 8.5), QPointF(6.5, 12));
        p.drawLine(QPointF(6.5, 12), QPointF(13, 4));
    } else {
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    }
    return QIcon(pixmap);
}

}  // namespace

TF_Filtro::TF_Filtro(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_Filtro"));
    setWindowTitle(QStringLiteral("Filtragem de Dados"));
    setFont(sansSerif(13));
    setFixedSize(536, 91);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    Label1 = new QLabel(QStringLiteral("Filtro a Executar:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(8, 8);
    Label1->adjustSize();

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 24, 517, 24);
    Edit1->setMaxLength(32767 * 32);  // practically no limit

    Label2 = new QLabel(QStringLiteral("Campos da Tabela:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(8, 64);
    Label2->adjustSize();

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(132, 60, 145, 24);
    ComboBox1->setEditable(false);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(280, 60, 23, 25);
    SpeedButton1->setIcon(drawnIcon(true));
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setAutoRaise(false);

    BitBtn1 = new QPushButton(drawnIcon(true), QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(328, 56, 97, 29);
    BitBtn2 = new QPushButton(drawnIcon(false), QStringLiteral("Cancelar"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(428, 56, 97, 29);
    for (QPushButton* b : {BitBtn1, BitBtn2}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, ComboBox1);

    connect(BitBtn1, &QPushButton::clicked, this, &TF_Filtro::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(SpeedButton1, &QToolButton::clicked, this, &TF_Filtro::SpeedButton1Click);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Edit1->setFocus();
}

void TF_Filtro::SpeedButton1Click()
{
    if (ComboBox1->currentIndex() < 0)
        return;
    Edit1->setText(Edit1->text() + ComboBox1->currentText());
    Edit1->setFocus();
    Edit1->deselect();
    Edit1->setCursorPosition(int(Edit1->text().size()));
}

void TF_Filtro::BitBtn1Click()
{
    if (apply_) {
        try {
            apply_(Edit1->text());
        } catch (const filter::FilterError& e) {
            showFault(e.text(), e.position());
            return;
        } catch (const Error& e) {
            showFault(e.text(), -1);
            return;
        }
    }
    accept();
}

void TF_Filtro::showFault(const QString& message, qsizetype position)
{
    toolkit::showErrorBox(this, message);
    activateWindow();
    Edit1->setFocus();
    Edit1->deselect();
    if (position >= 0)
        Edit1->setCursorPosition(int(std::min<qsizetype>(position, Edit1->text().size())));
}

void TF_Filtro::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void BFiltroClick(QWidget* owner, Table& source)
{
    TF_Filtro dialog(owner);
    const QString condition = source.Filter();
    std::optional<filter::FilterError> stale;
    try {
        source.Open();
    } catch (const filter::FilterError& e) {
        // The condition does not fit the table now bound: open it without one (a closed table
        // only stores the text) so that the dialog can show the condition and its fault.
        stale = e;
        source.SetFilter(QString());
        try {
            source.Open();
        } catch (...) {
            source.SetFilter(condition);
            throw;
        }
    }
    bool applied = false;
    dialog.Edit1->setText(condition);
    for (const FieldDef& f : source.FieldDefs())
        dialog.ComboBox1->addItem(f.name);
    dialog.ComboBox1->setCurrentIndex(-1);
    dialog.Edit1->setFocus();
    dialog.setApply([&](const QString& text) {
        // Compiled here against the open table: a faulty text throws before anything changes.
        source.SetFilter(text);
        source.SetFiltered(true);
        applied = true;
    });
    if (stale)
        QTimer::singleShot(0, &dialog, [&] { dialog.showFault(stale->text(), stale->position()); });
    try {
        if (dialog.exec() != QDialog::Accepted)
            source.SetFiltered(false);
        source.Close();
    } catch (...) {
        if (stale && !applied && !source.Active())
            source.SetFilter(condition);
        throw;
    }
    if (stale && !applied)
        source.SetFilter(condition);  // closed: the text is kept as it was, not compiled
}

}  // namespace quillora::views
