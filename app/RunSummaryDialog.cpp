#include "app/RunSummaryDialog.h"

#include "run/RunCsv.h"
#include "run/RunSummary.h"
#include "toolkit/MessageBoxes.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora::app {

QString RunSummaryDialog::title()
{
    return QStringLiteral("Resumo do processamento");
}

RunSummaryDialog::RunSummaryDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RunSummaryDialog"));
    setWindowTitle(title());
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("summaryText"));
    text_->setTextFormat(Qt::PlainText);
    layout->addWidget(text_);
    auto* buttons = new QDialogButtonBox(this);
    save_ = buttons->addButton(QStringLiteral("&Salvar erros..."), QDialogButtonBox::ActionRole);
    save_->setObjectName(QStringLiteral("saveFailures"));
    undo_ = buttons->addButton(QStringLiteral("&Desfazer"), QDialogButtonBox::ActionRole);
    undo_->setObjectName(QStringLiteral("undoRun"));
    QPushButton* ok = buttons->addButton(QStringLiteral("&Ok"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ok"));
    layout->addWidget(buttons);
    connect(save_, &QPushButton::clicked, this, &RunSummaryDialog::saveClicked);
    connect(undo_, &QPushButton::clicked, this, [this] {
        hide();
        emit undoRequested();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

RunSummaryDialog* RunSummaryDialog::showFor(QWidget* mainWindow, const RecordRunResult& result, bool undoOffered)
{
    auto* dialog = mainWindow->findChild<RunSummaryDialog*>(QStringLiteral("RunSummaryDialog"),
                                                            Qt::FindDirectChildrenOnly);
    if (!dialog)
        dialog = new RunSummaryDialog(mainWindow);
    dialog->undoOffered_ = undoOffered;
    dialog->setResult(result);
    dialog->show();
    return dialog;
}

void RunSummaryDialog::setResult(const RecordRunResult& result)
{
    result_ = result;
    text_->setText(summaryText(result));
    save_->setVisible(!result.failures.empty());
    // A run that changed the destination can be undone as a whole; a trial changed nothing.
    // (a run rolled back after a failed write left nothing to undo).
    undo_->setVisible(undoOffered_ && !result.trial && !result.rolledBack && result.appended + result.updated > 0);
    adjustSize();
}

bool RunSummaryDialog::saveFailures(const QString& path)
{
    QFile file(path);
    const QByteArray bytes = failedRecordsCsv(result_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
        toolkit::messageBox(this, toolkit::MessageKind::Error,
                            QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(path, file.errorString()),
                            toolkit::Ok);
        return false;
    }
    return true;
}

void RunSummaryDialog::saveClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Salvar registros com erro"), QString(),
                                                      QStringLiteral("Arquivos CSV (*.csv)"));
    if (!path.isEmpty())
        saveFailures(path);
}

}  // namespace quillora::app
