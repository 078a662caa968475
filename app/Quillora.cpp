#include "app/Quillora.h"

#include "app/AboutBox.h"
#include "app/CheckTableDialog.h"
#include "app/TableDamageNotice.h"
#include "app/Fonts.h"
#include "app/MappingListActions.h"
#include "app/U_Progresso.h"
#include "app/RunSummaryDialog.h"
#include "app/WindowRunHost.h"
#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/check/TableCheck.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"
#include "toolkit/FileNameEdit.h"
#include "toolkit/MessageBoxes.h"
#include "transfer/Transfer.h"
#include "transfer/ui/U_Campos.h"
#include "reconcile/Atualizar.h"
#include "reconcile/Comparar.h"
#include "reconcile/DivergenceList.h"
#include "views/ui/U_Consulta.h"
#include "views/ui/U_Filtro.h"
#include "workbench/ui/U_Processa.h"

#include <QApplication>
#include <QComboBox>
#include <QShortcut>
#include <QAction>
#include <QMessageBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>

#include <memory>

namespace quillora::app {

namespace {

const QColor fieldColour(0xF0, 0xFB, 0xFF);

void paintField(QWidget* w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, fieldColour);
    w->setPalette(p);
}

QIcon icon(const QWidget* w, const char* themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(themeName), w->style()->standardIcon(fallback));
}

}  // namespace

TF_Principal::TF_Principal(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("F_Principal"));
    setWindowTitle(QStringLiteral("Quillora"));
    setFont(tahoma(12));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    // Outer 472 x 452 with the usual frame: the client area below holds every control.
    resize(464, 418);
    // Smaller, the window would hide "Processar" and "Sair".
    setMinimumSize(464, 418);

    Table1 = new Table(QStringLiteral("Table1"), this);
    Table2 = new Table(QStringLiteral("Table2"), this);

    auto label = [this](const char* name, const char* text, QRect g) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(g);
        // Labels size themselves to their text, so a wider fallback font never clips them.
        l->adjustSize();
        l->move(g.topLeft());
        return l;
    };
    RxLabel1 = label("RxLabel1", "Tabela Fonte:", {2, 10, 78, 14});
    RxLabel2 = label("RxLabel2", "Tabela Destino:", {4, 50, 87, 14});
    RxLabel3 = label("RxLabel3", "Operação:", {5, 90, 58, 14});
    RxLabel4 = label("RxLabel4", "Campos:", {8, 154, 48, 14});
    Label1 = label("Label1", "Chave Pai", {12, 320, 52, 14});
    Label2 = label("Label2", "Chave Filho", {144, 320, 61, 14});

    auto fileEdit = [this](const char* name, QRect g) {
        auto* e = new toolkit::FileNameEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(g);
        e->setDialogTitle(QStringLiteral("Abrir Arquivo de Dados"));
        e->setFilter(QStringLiteral("Arquivos de Dados (*.db;*.dbf)|*.db;*.dbf"));
        e->lineEdit()->setFrame(false);
        paintField(e->lineEdit());
        return e;
    };
    NTabelaFonte = fileEdit("NTabelaFonte", {4, 24, 377, 21});
    NTabelaDestino = fileEdit("NTabelaDestino", {6, 68, 377, 21});

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(10, 168, 433, 141);
    Memo1->setFont(msSansSerif(11));
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setTabChangesFocus(true);
    paintField(Memo1);
    mappingList = new MappingListActions(this, Memo1);

    auto combo = [this](const char* name, QRect g) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        c->setGeometry(g);
        return c;
    };
    ComboBox1 = combo("ComboBox1", {6, 108, 149, 22});
    ComboBox1->addItems(operationNames());
    ComboBox1->setCurrentIndex(-1);
    paintField(ComboBox1);
    ChaveIndPai = combo("ChaveIndPai", {12, 336, 129, 22});
    ChaveIndFilho = combo("ChaveIndFilho", {144, 336, 129, 22});

    const QFont small = tahoma(11);
    auto button = [this](const char* name, const char* text, QRect g, const char* theme, QStyle::StandardPixmap fb) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(g);
        b->setIcon(icon(this, theme, fb));
        b->setIconSize(QSize(14, 14));
        return b;
    };
    BVer1 = button("BVer1", "Ver", {388, 24, 55, 25}, "document-preview", QStyle::SP_FileDialogContentsView);
    BVer2 = button("BVer2", "Ver", {390, 64, 55, 25}, "document-preview", QStyle::SP_FileDialogContentsView);
    BLimpar = button("BLimpar", "Limpar Tabela", {158, 104, 106, 29}, "edit-delete", QStyle::SP_TrashIcon);
    BMontar = button("BMontar", "Montar...", {356, 104, 88, 29}, "view-list-details", QStyle::SP_FileDialogDetailedView);
    BProcessar = button("BProcessar", "Processar", {234, 376, 105, 29}, "system-run", QStyle::SP_MediaPlay);
    BSair = button("BSair", "Sair", {342, 376, 105, 29}, "application-exit", QStyle::SP_DialogCloseButton);
    BitBtn7 = button("BitBtn7", "Proc.Fonte", {6, 376, 105, 29}, "document-properties", QStyle::SP_FileDialogListView);
    BitBtn8 = button("BitBtn8", "Proc. Destino", {114, 376, 117, 29}, "document-properties", QStyle::SP_FileDialogListView);
    BFiltro = button("BFiltro", "Filtro...", {266, 104, 88, 29}, "view-filter", QStyle::SP_FileDialogInfoView);
    BLimparCampos = button("BLimparCampos", "Limpar Campos", {158, 136, 105, 29}, "edit-clear", QStyle::SP_DialogResetButton);
    BAtualizar = button("BAtualizar", "Atualizar", {276, 332, 77, 29}, "view-refresh", QStyle::SP_BrowserReload);
    BitBtn1 = button("BitBtn1", "Comparar", {356, 332, 89, 29}, "edit-find", QStyle::SP_FileDialogContentsView);
    for (QPushButton* b : {BVer1, BVer2, BLimpar, BMontar, BFiltro, BLimparCampos})
        b->setFont(small);

    // Tab order as the window lists its controls.
    const QList<QWidget*> order = {NTabelaFonte, NTabelaDestino, Memo1, ComboBox1, BVer1, BVer2,
                                   BLimpar, BMontar, BProcessar, BSair, BitBtn7, BitBtn8,
                                   BFiltro, BLimparCampos, ChaveIndPai, BAtualizar, ChaveIndFilho, BitBtn1};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    connect(BSair, &QPushButton::clicked, this, &TF_Principal::BSairClick);
    connect(BLimpar, &QPushButton::clicked, this, &TF_Principal::BLimparClick);
    connect(BLimparCampos, &QPushButton::clicked, this, &TF_Principal::BLimparCamposClick);
    connect(BProcessar, &QPushButton::clicked, this, &TF_Principal::BProcessarClick);
    connect(BMontar, &QPushButton::clicked, this, &TF_Principal::BMontarClick);
    connect(BAtualizar, &QPushButton::clicked, this, &TF_Principal::BAtualizarClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TF_Principal::BitBtn1Click);
    connect(BVer1, &QPushButton::clicked, this, &TF_Principal::BVer1Click);
    connect(BVer2, &QPushButton::clicked, this, &TF_Principal::BVer2Click);
    connect(BFiltro, &QPushButton::clicked, this, &TF_Principal::BFiltroClick);
    connect(BitBtn7, &QPushButton::clicked, this, &TF_Principal::BitBtn7Click);
    connect(BitBtn8, &QPushButton::clicked, this, &TF_Principal::BitBtn8Click);
    auto* undo = new QShortcut(QKeySequence::Undo, this);
    undo->setObjectName(QStringLiteral("DesfazerAtalho"));
    connect(undo, &QShortcut::activated, this, &TF_Principal::undoLastOperation);
    // The window has no menu bar: "Sobre o Quillora" is on F1 and in the window's context menu.
    auto* about = new QAction(QStringLiteral("Sobre o Quillora..."), this);
    about->setObjectName(QStringLiteral("SobreAcao"));
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(about, &QAction::triggered, this, &TF_Principal::showAbout);
    // "Verificar tabela..." for the table named in each file box.
    auto checkAction = [this](toolkit::FileNameEdit* box, const char* name) {
        auto* action = new QAction(QStringLiteral("Verificar tabela..."), box);
        action->setObjectName(QString::fromLatin1(name));
        action->setEnabled(false);
        box->addMenuAction(action);
        connect(box, &toolkit::FileNameEdit::textChanged, action,
                [action, box] { action->setEnabled(!box->fileName().trimmed().isEmpty()); });
        connect(action, &QAction::triggered, this, [this, box] { checkTableOf(box->fileName()); });
        return action;
    };
    checkSourceAction = checkAction(NTabelaFonte, "VerificarTabelaFonte");
    checkDestinationAction = checkAction(NTabelaDestino, "VerificarTabelaDestino");
    // A damaged table opened from either box or the viewer says so, once.
    new TableDamageNotice(this, {Table1, Table2});
    connect(NTabelaFonte, &toolkit::FileNameEdit::exited, this, &TF_Principal::NTabelaFonteExit);
    connect(NTabelaDestino, &toolkit::FileNameEdit::exited, this, &TF_Principal::NTabelaDestinoExit);
    connect(NTabelaFonte, &toolkit::FileNameEdit::beforeDialog, this, &TF_Principal::NTabelaFonteBeforeDialog);
    connect(NTabelaDestino, &toolkit::FileNameEdit::beforeDialog, this, &TF_Principal::NTabelaDestinoBeforeDialog);
}

TF_Principal::~TF_Principal()
{
    // Closing writes what is pending; an error then has nobody left to show it to.
    for (Table* t : {Table1, Table2}) {
        try {
            t->Close();
        } catch (const std::exception&) {
        }
    }
}

void TF_Principal::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Error& e) {
        toolkit::showErrorBox(this, e.text());
    } catch (const std::exception& e) {
        toolkit::showErrorBox(this, QString::fromLocal8Bit(e.what()));
    }
}

void TF_Principal::PreencheChaves(const QStringList& sourceFields, const QStringList& destinationFields)
{
    ChaveIndPai->clear();
    ChaveIndFilho->clear();
    ChaveIndPai->addItems(sourceFields);
    ChaveIndFilho->addItems(destinationFields);
    ChaveIndPai->setCurrentIndex(-1);
    ChaveIndFilho->setCurrentIndex(-1);
}

void TF_Principal::BSairClick() { close(); }

void TF_Principal::undoLastOperation()
{
    guarded([&] {
        QString why;
        for (Table* table : {Table2, Table1}) {
            const QString path = table->FilePath();
            if (table->TableName().isEmpty() || !io::exists(path))
                continue;
            if (undoOperationOn(path, &why))
                return;
        }
        toolkit::plainMessage(this, why.isEmpty() ? QStringLiteral("Não há operação a desfazer.") : why);
    });
}

bool TF_Principal::undoOperationOn(const QString& path, QString* why, QWidget* asker)
{
    QWidget* parent = asker ? asker : this;
    io::recoverFamily(path);
    const QString operation = io::undoableOperation(path, why);
    if (operation.isEmpty())
        return false;
    if (!toolkit::confirm(parent, QStringLiteral("Desfazer a operação \"%1\" na tabela %2 ?\nTodos os arquivos da "
                                                 "tabela voltarão a ser como eram antes dela.")
                                      .arg(operation, io::absolute(path))))
        return true;
    // Open tables hold what they read; they read the restored files afresh.
    Table1->Close();
    Table2->Close();
    io::undo(path);
    toolkit::plainMessage(parent, QStringLiteral("Operação \"%1\" desfeita: a tabela %2 está como antes dela.")
                                      .arg(operation, io::absolute(path)));
    return true;
}

CheckTableDialog* TF_Principal::checkTableOf(const QString& path)
{
    if (path.trimmed().isEmpty()) {
        toolkit::plainMessage(this, QStringLiteral("Informe a tabela a verificar."));
        return nullptr;
    }
    if (!io::exists(path)) {
        toolkit::showErrorBox(this, QStringLiteral("Tabela não encontrada: %1").arg(path));
        return nullptr;
    }
    if (!check::checkable(path)) {
        toolkit::showErrorBox(this, QStringLiteral("%1: a verificação não está disponível para este formato").arg(path));
        return nullptr;
    }
    auto* dialog = new CheckTableDialog(path, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // A repair, or the undoing of one, changes the files under the tables this window holds:
    // they are closed, and read afresh when next used.
    connect(dialog, &CheckTableDialog::tableAboutToChange, this, [this] {
        guarded([&] {
            Table1->Close();
            Table2->Close();
        });
    });
    connect(dialog, &CheckTableDialog::undoRequested, this, [this, dialog](const QString& table) {
        guarded([&] {
            QString why;
            if (!undoOperationOn(table, &why, dialog))
                toolkit::plainMessage(dialog, why);
        });
    });
    dialog->show();
    dialog->start();
    return dialog;
}

void TF_Principal::NTabelaFonteExit()
{
    guarded([&] {
        Table1->Close();
        Table1->Bind(NTabelaFonte->fileName());
    });
}

void TF_Principal::openSourceTable(const QString& path)
{
    NTabelaFonte->setText(path);
    NTabelaFonteExit();
}

void TF_Principal::showAbout()
{
    std::unique_ptr<QMessageBox> box(createAboutBox(this));
    box->exec();
}

void TF_Principal::NTabelaDestinoExit()
{
    guarded([&] {
        Table2->Close();
        Table2->Bind(NTabelaDestino->fileName());
    });
}

void TF_Principal::NTabelaFonteBeforeDialog()
{
    if (!NTabelaFonte->fileName().isEmpty())
        NTabelaFonte->setInitialDir(toolkit::FileNameEdit::directoryOf(NTabelaFonte->fileName()));
}

void TF_Principal::NTabelaDestinoBeforeDialog()
{
    if (!NTabelaDestino->fileName().isEmpty())
        NTabelaDestino->setInitialDir(toolkit::FileNameEdit::directoryOf(NTabelaDestino->fileName()));
}

void TF_Principal::BLimparClick()
{
    guarded([&] {
        if (Table2->TableName().isEmpty())
            return;
        if (!Table2->Active())
            Table2->Open();
        if (toolkit::confirm(this, QStringLiteral("A tabela destino terá todos os seus registros apagados, confirma ?"))) {
            // One operation: undone as a whole, and rolled back as a whole when a write fails.
            io::Operation operation(QStringLiteral("Limpar Tabela"), {Table2->FilePath()});
            QString failure;
            try {
                Table2->First();
                while (!Table2->Eof())
                    Table2->Delete();
            } catch (const Error& e) {
                if (!operation.failed())
                    throw;
                failure = e.text();
            }
            operation.closeAndFinish([&] { Table2->Close(); }, failure);
        }
        Table2->Close();
    });
}

void TF_Principal::BLimparCamposClick()
{
    if (toolkit::confirm(this, QStringLiteral("Limpar o conteúdo dos campos ?")))
        Memo1->clear();
}

std::function<void(QWidget*, const RecordRunResult&)> TF_Principal::columnRunSummary()
{
    // Over the processing window, which holds the table's operation open until it closes:
    // nothing to undo from the summary yet.
    return [](QWidget* window, const RecordRunResult& result) { RunSummaryDialog::showFor(window, result, false); };
}

void TF_Principal::BitBtn7Click()
{
    guarded([&] { workbench::ui::TF_Processa::processa(this, Table1, NTabelaFonte->fileName(), columnRunSummary()); });
}

void TF_Principal::BitBtn8Click()
{
    guarded([&] { workbench::ui::TF_Processa::processa(this, Table2, NTabelaDestino->fileName(), columnRunSummary()); });
}

void TF_Principal::showRunSummary(const RecordRunResult& result, bool undoOffered)
{
    connect(RunSummaryDialog::showFor(this, result, undoOffered), &RunSummaryDialog::undoRequested, this,
            &TF_Principal::undoLastOperation, Qt::UniqueConnection);
}

void TF_Principal::runWithSummary(const std::function<RecordRunResult(WindowRunHost&)>& run)
{
    WindowRunHost host(progress_, this);
    try {
        showRunSummary(run(host));
    } catch (...) {
        // A run that ended in an error shows how far it got, and then the error.
        if (host.aborted())
            showRunSummary(*host.aborted());
        throw;
    }
}

void TF_Principal::BProcessarClick()
{
    guarded([&] {
        runWithSummary([&](WindowRunHost& host) {
            return processar(*Table1, *Table2, host, NTabelaFonte->fileName(), NTabelaDestino->fileName(),
                             Memo1->toPlainText(), Operacao(ComboBox1->currentIndex()));
        });
    });
}

void TF_Principal::BMontarClick()
{
    guarded([&] {
        transfer::BMontarClick(this, *Table1, *Table2, NTabelaFonte->fileName(), NTabelaDestino->fileName(), Memo1,
                               [this](const QStringList& s, const QStringList& d) { PreencheChaves(s, d); });
    });
}

// The key field names as the key lists hold them: the selected item, or empty without one.
static QString selectedKey(const QComboBox* list)
{
    return list->currentIndex() >= 0 ? list->itemText(list->currentIndex()) : QString();
}

void TF_Principal::BAtualizarClick()
{
    guarded([&] {
        runWithSummary([&](WindowRunHost& host) {
            return atualizar(*Table1, *Table2, host, NTabelaFonte->fileName(), NTabelaDestino->fileName(),
                             Memo1->toPlainText(), selectedKey(ChaveIndPai), selectedKey(ChaveIndFilho));
        });
    });
}

void TF_Principal::BitBtn1Click()
{
    guarded([&] {
        runWithSummary([&](WindowRunHost& host) {
            return comparar(*Table1, *Table2, host, NTabelaFonte->fileName(), NTabelaDestino->fileName(),
                            Memo1->toPlainText(), selectedKey(ChaveIndPai), selectedKey(ChaveIndFilho),
                            divergenceListPath());
        });
    });
}

// "Ver": the table as it is bound (no rebinding from the file edit), with its order and,
// for the source, its filter.
void TF_Principal::BVer1Click()
{
    guarded([&] { views::BVerClick(this, *Table1); });
}

void TF_Principal::BVer2Click()
{
    guarded([&] { views::BVerClick(this, *Table2); });
}

void TF_Principal::BFiltroClick()
{
    guarded([&] { views::BFiltroClick(this, *Table1); });
    showFilterState();
}

void TF_Principal::showFilterState()
{
    // A filter that is on changes what every operation sees: the button says so.
    const bool on = Table1->Filtered() && !Table1->Filter().trimmed().isEmpty();
    BFiltro->setText(on ? QStringLiteral("Filtro...*") : QStringLiteral("Filtro..."));
    BFiltro->setToolTip(on ? QStringLiteral("Filtro ativo na tabela fonte: %1").arg(Table1->Filter()) : QString());
}

TF_Principal* createWindows()
{
    auto* principal = new TF_Principal;
    auto* progress = new TF_Progresso(principal);
    principal->setProgressWindow(progress);
    progress->hide();
    // A table whose last operation was interrupted is rolled back as it is opened: say so,
    // naming the table, before anything else is shown of it.
    io::setRecoveryNotifier([principal](const io::Recovery& r) {
        auto show = [principal, message = r.message] {
            QWidget* parent = QApplication::activeWindow() ? QApplication::activeWindow() : principal;
            toolkit::messageBox(parent, toolkit::MessageKind::Warning, message, toolkit::Ok);
        };
        // Work on another thread (a check) tells it through the window's own thread.
        if (QThread::currentThread() == principal->thread())
            show();
        else
            QMetaObject::invokeMethod(principal, show, Qt::QueuedConnection);
    });
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        principal->move(area.center() - QPoint(principal->width() / 2, principal->height() / 2));
    }
    return principal;
}

}  // namespace quillora::app
