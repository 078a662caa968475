#include "app/SessionMemory.h"

#include "app/MappingListActions.h"
#include "app/Quillora.h"
#include "tables/Table.h"
#include "toolkit/FileNameEdit.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSettings>

namespace quillora::app {

namespace {

const QString kSource = QStringLiteral("sessao/tabelaFonte");
const QString kDestination = QStringLiteral("sessao/tabelaDestino");
const QString kMapping = QStringLiteral("sessao/campos");
const QString kOperation = QStringLiteral("sessao/operacao");
const QString kSourceKey = QStringLiteral("sessao/chavePai");
const QString kDestinationKey = QStringLiteral("sessao/chaveFilho");
const QString kFilter = QStringLiteral("sessao/filtro");
const QString kFilterOn = QStringLiteral("sessao/filtroAtivo");
const QString kListFolder = QStringLiteral("sessao/pastaListas");
const QString kRecentSource = QStringLiteral("recentes/fonte");
const QString kRecentDestination = QStringLiteral("recentes/destino");

QString selectedText(const QComboBox* box)
{
    return box->currentIndex() >= 0 ? box->currentText() : QString();
}

// The key lists are filled by "Montar..."; until then the remembered key is their one item.
void restoreKey(QComboBox* box, const QString& key)
{
    if (key.isEmpty())
        return;
    box->clear();
    box->addItem(key);
    box->setCurrentIndex(0);
}

}  // namespace

SessionMemory::SessionMemory(TF_Principal& window, QSettings& settings)
    : QObject(&window), window_(window), settings_(settings)
{
    window_.NTabelaFonte->setRecentTitle(QStringLiteral("Tabelas recentes"));
    window_.NTabelaDestino->setRecentTitle(QStringLiteral("Tabelas recentes"));
    connect(window_.NTabelaFonte, &toolkit::FileNameEdit::exited, this, [this] { tableUsed(true); });
    connect(window_.NTabelaDestino, &toolkit::FileNameEdit::exited, this, [this] { tableUsed(false); });
    connect(window_.NTabelaFonte, &toolkit::FileNameEdit::recentFilesChanged, this, [this](const QStringList& files) {
        settings_.setValue(kRecentSource, files);
        settings_.sync();
    });
    connect(window_.NTabelaDestino, &toolkit::FileNameEdit::recentFilesChanged, this,
            [this](const QStringList& files) {
                settings_.setValue(kRecentDestination, files);
                settings_.sync();
            });
}

void SessionMemory::tableUsed(bool source)
{
    // A table is recent once it was named in its box and is there.
    toolkit::FileNameEdit* edit = source ? window_.NTabelaFonte : window_.NTabelaDestino;
    const QString path = edit->fileName();
    if (!path.isEmpty() && QFileInfo(path).isFile())
        edit->addRecentFile(path);
}

void SessionMemory::restore()
{
    window_.NTabelaFonte->setRecentFiles(settings_.value(kRecentSource).toStringList());
    window_.NTabelaDestino->setRecentFiles(settings_.value(kRecentDestination).toStringList());

    const QString source = settings_.value(kSource).toString();
    const QString destination = settings_.value(kDestination).toString();
    window_.NTabelaFonte->setText(source);
    window_.NTabelaDestino->setText(destination);
    // Binding names the files only; nothing is read until the user opens a table.
    window_.Table1->Bind(window_.NTabelaFonte->fileName());
    window_.Table2->Bind(window_.NTabelaDestino->fileName());

    window_.Memo1->setPlainText(settings_.value(kMapping).toString());
    window_.Memo1->document()->setModified(false);
    bool ok = false;
    const int operation = settings_.value(kOperation, -1).toInt(&ok);
    window_.ComboBox1->setCurrentIndex(ok && operation >= -1 && operation < window_.ComboBox1->count() ? operation : -1);
    restoreKey(window_.ChaveIndPai, settings_.value(kSourceKey).toString());
    restoreKey(window_.ChaveIndFilho, settings_.value(kDestinationKey).toString());

    // A closed table keeps the condition as text: a condition that no longer fits the table
    // is told when the table is opened, and "Filtro..." still shows it.
    window_.Table1->SetFilter(settings_.value(kFilter).toString());
    window_.Table1->SetFiltered(settings_.value(kFilterOn, false).toBool());
    window_.showFilterState();
    window_.mappingList->setFolder(settings_.value(kListFolder).toString());
}

void SessionMemory::save()
{
    settings_.setValue(kSource, window_.NTabelaFonte->text());
    settings_.setValue(kDestination, window_.NTabelaDestino->text());
    settings_.setValue(kMapping, window_.Memo1->toPlainText());
    settings_.setValue(kOperation, window_.ComboBox1->currentIndex());
    settings_.setValue(kSourceKey, selectedText(window_.ChaveIndPai));
    settings_.setValue(kDestinationKey, selectedText(window_.ChaveIndFilho));
    settings_.setValue(kFilter, window_.Table1->Filter());
    settings_.setValue(kFilterOn, window_.Table1->Filtered());
    settings_.setValue(kListFolder, window_.mappingList->folder());
    settings_.setValue(kRecentSource, window_.NTabelaFonte->recentFiles());
    settings_.setValue(kRecentDestination, window_.NTabelaDestino->recentFiles());
    settings_.sync();
}

}  // namespace quillora::app
