#include "workbench/ui/U_Processa.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/io/Journal.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/NavigatorBar.h"
#include "toolkit/TableGridModel.h"
#include "workbench/ColumnOperations.h"
#include "workbench/ColumnRun.h"
#include "workbench/ui/ParameterDialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <memory>

namespace quillora::workbench::ui {

namespace {

QFont arial(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// A small picture for a toolbar button: a glyph in the window's blue.
QIcon glyphIcon(const QString& glyph, QColor colour = QColor(0x00, 0x00, 0x80))
{
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont f = arial(glyph.size() > 2 ? 9 : 14, true);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(pm.rect(), Qt::AlignCenter, glyph);
    p.end();
    QIcon icon(pm);
    return icon;
}

QString keyList(const QStringList& fields, const QString& separator)
{
    QStringList trimmed;
    for (const QString& f : fields)
        trimmed << f.trimmed();
    return trimmed.join(separator);
}

}  // namespace

TF_Processa::TF_Processa(Table* table, QWidget* owner) : QDialog(owner), table_(table)
{
    setObjectName(QStringLiteral("F_Processa"));
    setWindowTitle(QStringLiteral("Processamento de tabela"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setFont(arial(13));
    resize(541, 438);  // client area of the 557 x 476 window

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(36);
    DBNavigator1 = new toolkit::NavigatorBar(
        table_, toolkit::NavigatorBar::First | toolkit::NavigatorBar::Prior | toolkit::NavigatorBar::Next |
                    toolkit::NavigatorBar::Last | toolkit::NavigatorBar::Delete,
        Panel1);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setGeometry(2, 2, 185, 32);
    auto tool = [this](const char* name, const char* hint, const char* glyph, QRect r) {
        auto* b = new QToolButton(Panel1);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(QString::fromUtf8(hint));
        b->setIcon(glyphIcon(QString::fromUtf8(glyph)));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(r);
        return b;
    };
    SpeedButton1 = tool("SpeedButton1", "Zeros a esquerda", "00", {187, 2, 34, 32});
    SpeedButton2 = tool("SpeedButton2", "Preenche campos", "A\u2192", {221, 2, 34, 32});
    SpeedButton3 = tool("SpeedButton3", "Corta caracteres", "\u2702", {255, 2, 34, 32});
    SpeedButton4 = tool("SpeedButton4", "Incrementa valores numéricos", "123", {289, 2, 34, 32});
    SpeedButton6 = tool("SpeedButton6", "Coloca Recno() e preenche com zeros a esquerda", "#0", {323, 2, 34, 32});
    SpeedButton7 = tool("SpeedButton7", "Mudar a caixa das letras", "Aa", {357, 0, 34, 34});
    SpeedButton5 = tool("SpeedButton5", "", "\u2716", {391, 0, 34, 34});
    SpeedButton5->setToolTip(QString());
    SpeedButton5->setIcon(glyphIcon(QStringLiteral("\u2716"), QColor(0xA0, 0x00, 0x00)));
    layout->addWidget(Panel1);

    DataSource1 = new toolkit::TableGridModel(table_, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    RxDBGrid1 = new toolkit::TableGrid(this);
    RxDBGrid1->setObjectName(QStringLiteral("RxDBGrid1"));
    RxDBGrid1->setFont(arial(11));
    RxDBGrid1->horizontalHeader()->setFont(arial(13));
    RxDBGrid1->setStyleSheet(QStringLiteral("QTableView#RxDBGrid1 { background-color: #F0FBFF; color: #000080; }"));
    RxDBGrid1->setTableModel(DataSource1);
    layout->addWidget(RxDBGrid1, 1);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(33);
    RxLabel1 = new QLabel(QStringLiteral("Selecione o índice para processamento:"), Panel2);
    RxLabel1->setObjectName(QStringLiteral("RxLabel1"));
    RxLabel1->setGeometry(7, 9, 234, 16);
    DBIndexCombo1 = new QComboBox(Panel2);
    DBIndexCombo1->setObjectName(QStringLiteral("DBIndexCombo1"));
    // Where Arial is missing a wider font takes its place: the label keeps its whole text.
    const int labelWidth = std::max(234, RxLabel1->sizeHint().width());
    RxLabel1->setGeometry(7, 9, labelWidth, 16);
    DBIndexCombo1->setGeometry(labelWidth + 10, 5, 249, 24);
    DBIndexCombo1->setFont(arial(13, true));
    DBIndexCombo1->setStyleSheet(QStringLiteral(
        "QComboBox#DBIndexCombo1 { background-color: #F0CAA6; color: #000080; }"));
    layout->addWidget(Panel2);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(19);
    panel0_ = new QLabel(StatusBar1);
    panel0_->setObjectName(QStringLiteral("Panel0"));
    panel0_->setFixedWidth(300);
    panel1_ = new QLabel(StatusBar1);
    panel1_->setObjectName(QStringLiteral("Panel1Text"));
    StatusBar1->addWidget(panel0_);
    StatusBar1->addWidget(panel1_, 1);
    layout->addWidget(StatusBar1);

    setTabOrder(RxDBGrid1, DBIndexCombo1);

    connect(SpeedButton1, &QToolButton::clicked, this, &TF_Processa::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TF_Processa::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TF_Processa::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TF_Processa::SpeedButton4Click);
    connect(SpeedButton6, &QToolButton::clicked, this, &TF_Processa::SpeedButton6Click);
    connect(SpeedButton7, &QToolButton::clicked, this, &TF_Processa::SpeedButton7Click);
    connect(SpeedButton5, &QToolButton::clicked, this, &TF_Processa::SpeedButton5Click);
    connect(DBIndexCombo1, &QComboBox::activated, this, &TF_Processa::chooseIndex);
    connect(DataSource1, &toolkit::TableGridModel::editFailed, this,
            [this](const QString& text) { toolkit::showErrorBox(this, text); });
    connect(table_, &Table::dataChanged, this, &TF_Processa::fillIndexes);
    connect(table_, &Table::activeChanged, this, &TF_Processa::fillIndexes);

    showRecordCount();
    panel1_->setText(QString::fromUtf8(idleStatus));
    fillIndexes();

    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - QPoint(557 / 2, 476 / 2));
    RxDBGrid1->setFocus();
}

TF_Processa::~TF_Processa() = default;

void TF_Processa::processa(QWidget* owner, Table* table, const QString& fileName, const SummaryShower& showSummary)
{
    // Everything stored while the window is open is one operation: undone as a whole, and
    // rolled back as a whole when a write fails.
    io::Operation operation(QStringLiteral("Processamento de tabela"), {fileName.isEmpty() ? table->FilePath() : fileName});
    {
        if (!table->Active()) {
            table->Bind(fileName);
            table->Open();
        }
        // The window goes with its dialogs also when closing the table fails.
        const std::unique_ptr<TF_Processa> window(new TF_Processa(table, owner));
        window->setSummaryShower(showSummary);
        window->exec();
    }
    // Closing discards a record still being edited.
    operation.closeAndFinish([&] { table->Close(); });
}

void TF_Processa::showRecordCount()
{
    if (!table_->Active())
        return;
    // A filter narrows every operation of the window: the count says so. The whole text is in
    // the tip when the panel is too narrow for it.
    QString text = QStringLiteral("Quantidade de registros: %1").arg(table_->RecordCount());
    if (table_->Filtered() && !table_->Filter().trimmed().isEmpty())
        text += QStringLiteral(" — filtro: %1").arg(table_->Filter().simplified());
    // The panel has a fixed width: a long condition ends in "…" there and shows whole in the tip.
    panel0_->setText(panel0_->fontMetrics().elidedText(text, Qt::ElideRight, panel0_->width() - 8));
    panel0_->setToolTip(text);
}

QString TF_Processa::statusPanel(int panel) const
{
    return panel == 0 ? panel0_->text() : panel1_->text();
}

void TF_Processa::fillIndexes()
{
    DBIndexCombo1->clear();
    if (!table_->Active())
        return;
    QStringList seen;
    for (const IndexDef& def : table_->IndexDefs()) {
        if (def.has(ixExpression))
            continue;
        const QString text = keyList(def.fields, QStringLiteral("; "));
        if (seen.contains(text))
            continue;
        seen << text;
        DBIndexCombo1->addItem(text, QStringList{keyList(def.fields, QStringLiteral(";")), def.name});
    }
    int selected = -1;
    if (!table_->IndexFieldNames().isEmpty()) {
        const QString wanted = keyList(table_->IndexFieldNames().split(QLatin1Char(';')), QStringLiteral(";"));
        for (int i = 0; i < DBIndexCombo1->count() && selected < 0; ++i)
            if (DBIndexCombo1->itemData(i).toStringList().value(0).compare(wanted, Qt::CaseInsensitive) == 0)
                selected = i;
    } else if (!table_->IndexName().isEmpty()) {
        for (int i = 0; i < DBIndexCombo1->count() && selected < 0; ++i)
            if (DBIndexCombo1->itemData(i).toStringList().value(1).compare(table_->IndexName(), Qt::CaseInsensitive) == 0)
                selected = i;
    }
    DBIndexCombo1->setCurrentIndex(selected);
}

void TF_Processa::chooseIndex(int item)
{
    const QStringList data = DBIndexCombo1->itemData(item).toStringList();
    try {
        if (data.value(0).isEmpty()) {
            table_->SetIndexName(data.value(1));
            table_->SetIndexFieldNames(QString());
        } else {
            table_->SetIndexFieldNames(data.value(0));
        }
    } catch (const Error& e) {
        toolkit::showErrorBox(this, e.text());
    }
    fillIndexes();
}

void TF_Processa::operate(void (*operation)(Table&, WorkbenchHost&, int))
{
    if (running_)
        return;
    const int field = RxDBGrid1->currentField();
    if (field < 0 || !table_->Active())
        return;
    lastRun_.reset();
    try {
        operation(*table_, *this, field);
    } catch (const Error& e) {
        toolkit::showErrorBox(this, e.text());
    } catch (const std::exception& e) {
        // Nothing may leave a button's handler: show it as any other error.
        toolkit::showErrorBox(this, QString::fromLocal8Bit(e.what()));
    }
    if (lastRun_ && showSummary_)
        showSummary_(this, *lastRun_);
}

void TF_Processa::SpeedButton1Click() { operate(&leadingZeros); }
void TF_Processa::SpeedButton2Click() { operate(&fillColumn); }
void TF_Processa::SpeedButton3Click() { operate(&cutCharacters); }
void TF_Processa::SpeedButton4Click() { operate(&numberSequence); }
void TF_Processa::SpeedButton6Click() { operate(&recordNumber); }
void TF_Processa::SpeedButton7Click() { operate(&letterCase); }

void TF_Processa::SpeedButton5Click()
{
    close();
}

void TF_Processa::closeEvent(QCloseEvent* event)
{
    if (running_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TF_Processa::keyPressEvent(QKeyEvent* event)
{
    // The window closes only by its close button and the title bar: Esc, pressed to leave a
    // cell, must not close the table with the user's work.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TF_Processa::reject()
{
    if (!running_)
        QDialog::reject();
}

// --- Host -----------------------------------------------------------------------------------

void TF_Processa::setStatusText(const QString& text)
{
    shownPercent_ = -1;
    panel1_->setText(text);
}

void TF_Processa::progressed(qint64 recNo, qint64 recordCount)
{
    // The text changes at most a hundred times a run: it is written only when it changes.
    const int percent = ColumnRun::progressPercent(recNo, recordCount);
    if (percent == shownPercent_)
        return;
    setStatusText(ColumnRun::progressText(recNo, recordCount));
    shownPercent_ = percent;
}

void TF_Processa::showMessage(const QString& text)
{
    toolkit::plainMessage(this, text);
}

std::optional<int> TF_Processa::askZerosWidth()
{
    auto* d = new TF_Zeros(this);  // lives until this window goes
    if (d->exec() != QDialog::Accepted)
        return std::nullopt;
    return d->width();
}

std::optional<QString> TF_Processa::askValueText()
{
    auto* d = new TF_PCampos(this);
    if (d->exec() != QDialog::Accepted)
        return std::nullopt;
    return d->text();
}

std::optional<CutParameters> TF_Processa::askCut()
{
    auto* d = new TF_Apaga(this);
    if (d->exec() != QDialog::Accepted)
        return std::nullopt;
    return CutParameters{d->start(), d->count()};
}

CaseChoice TF_Processa::askCase()
{
    switch (toolkit::messageBox(this, toolkit::MessageKind::Confirmation, QStringLiteral("Mudar para Maiúsculas ?"),
                                toolkit::Yes | toolkit::No | toolkit::Cancel)) {
    case toolkit::Yes:
        return CaseChoice::Upper;
    case toolkit::No:
        return CaseChoice::Lower;
    default:
        return CaseChoice::Cancel;
    }
}

void TF_Processa::runStarted()
{
    // No input while a run goes on, so that a second operation cannot start inside the first;
    // the status bar keeps repainting.
    running_ = true;
    Panel1->setEnabled(false);
    RxDBGrid1->setEnabled(false);
    Panel2->setEnabled(false);
    sinceEvents_.start();
    recordsSinceClock_ = 0;
}

void TF_Processa::runEnded(const RecordRunResult& result)
{
    lastRun_ = result;
    showRecordCount();
    running_ = false;
    Panel1->setEnabled(true);
    RxDBGrid1->setEnabled(true);
    Panel2->setEnabled(true);
    RxDBGrid1->setFocus();
}

void TF_Processa::betweenRecords()
{
    // A few times per 100 ms is enough for the window to repaint and stay responsive. Reading
    // the clock costs about as much as a short record, so it is read every few records.
    if (++recordsSinceClock_ < 16)
        return;
    recordsSinceClock_ = 0;
    if (sinceEvents_.elapsed() < 30)
        return;
    sinceEvents_.restart();
    QApplication::processEvents();
}

}  // namespace quillora::workbench::ui
