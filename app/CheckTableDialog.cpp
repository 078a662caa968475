#include "app/CheckTableDialog.h"

#include "app/EngineJob.h"
#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"
#include "toolkit/MessageBoxes.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillora::app {

namespace {

check::CheckReport realCheck(const QString& path, const check::CheckProgress& progress)
{
    return check::checkTable(path, progress);
}

CheckTableDialog::CheckFunction& checkFunction()
{
    static CheckTableDialog::CheckFunction check = realCheck;
    return check;
}

QString faultCount(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 falha encontrada") : QStringLiteral("%1 falhas encontradas").arg(n);
}

const QString kRepairOperation = QStringLiteral("Reparar");

}  // namespace

// What the work on the other thread leaves for the window, read once it has ended.
struct CheckTableDialog::Shared {
    check::CheckReport report;
    check::RepairOutcome outcome;
};

void CheckTableDialog::setCheckFunction(CheckFunction check)
{
    checkFunction() = check ? std::move(check) : CheckFunction(realCheck);
}

CheckTableDialog::CheckTableDialog(const QString& table, QWidget* parent)
    : QDialog(parent), table_(table), shared_(std::make_shared<Shared>())
{
    setObjectName(QStringLiteral("CheckTableDialog"));
    setWindowTitle(title());
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("Tabela: %1").arg(QDir::toNativeSeparators(table)), this);
    name->setTextFormat(Qt::PlainText);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(name);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("checkStatus"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("checkProgress"));
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    layout->addWidget(progress_);
    report_ = new QPlainTextEdit(this);
    report_->setObjectName(QStringLiteral("checkReport"));
    report_->setReadOnly(true);
    report_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(report_, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto add = [&](const char* objectName, const QString& text) {
        QPushButton* b = buttons->addButton(text, QDialogButtonBox::ActionRole);
        b->setObjectName(QString::fromLatin1(objectName));
        b->setAutoDefault(false);
        return b;
    };
    repair_ = add("repairInPlace", QStringLiteral("&Reparar"));
    copy_ = add("repairToCopy", QStringLiteral("&Salvar cópia reparada..."));
    undo_ = add("undoRepair", QStringLiteral("&Desfazer reparo"));
    cancel_ = add("cancelCheck", QStringLiteral("&Cancelar"));
    close_ = add("closeCheck", QStringLiteral("&Fechar"));
    layout->addWidget(buttons);
    undo_->hide();
    connect(repair_, &QPushButton::clicked, this, &CheckTableDialog::repairInPlace);
    connect(copy_, &QPushButton::clicked, this, &CheckTableDialog::chooseCopy);
    connect(cancel_, &QPushButton::clicked, this, &CheckTableDialog::reject);
    connect(close_, &QPushButton::clicked, this, &CheckTableDialog::reject);
    connect(undo_, &QPushButton::clicked, this, [this] {
        emit undoRequested(table_);
        // Undone (the window asked first): the table is as before the repair; check it again.
        if (io::undoableOperation(table_) != kRepairOperation) {
            undo_->hide();
            runCheck(table_, QStringLiteral("Verificação depois de desfazer o reparo:"));
        }
    });
    resize(640, 360);
    updateButtons();
}

CheckTableDialog::~CheckTableDialog()
{
    // A check still running is stopped, and waited for, before the window goes.
    if (job_) {
        job_->cancel();
        job_->wait();
    }
}

void CheckTableDialog::start()
{
    try {
        // An operation interrupted on this table is rolled back (and told) here, on the window's
        // thread, before anything reads the family.
        io::recoverFamily(table_);
    } catch (const Error&) {
        // The check names what is wrong with the files.
    }
    runCheck(table_, QString());
}

void CheckTableDialog::checkAgain()
{
    if (idle())
        runCheck(table_, QStringLiteral("Nova verificação:"));
}

bool CheckTableDialog::idle() const
{
    return job_.isNull();
}

QString CheckTableDialog::reportText() const
{
    return report_->toPlainText();
}

void CheckTableDialog::runJob(const std::function<void(const check::CheckProgress&)>& work,
                              const std::function<void(const QString& error, bool cancelled)>& done, bool cancellable)
{
    auto* job = new EngineJob(work, this);
    job_ = job;
    jobCancellable_ = cancellable;
    progress_->setRange(0, 0);  // moving until the work says how far it is
    connect(job, &EngineJob::progressed, this, &CheckTableDialog::showProgress);
    connect(job, &QThread::finished, this, [this, job, done] {
        job->wait();
        const QString error = job->error();
        const bool cancelled = job->cancelled();
        job_ = nullptr;
        job->deleteLater();
        progress_->setRange(0, 1000);
        progress_->setValue(cancelled ? 0 : 1000);
        done(error, cancelled);
        updateButtons();
    });
    updateButtons();
    job->start();
}

void CheckTableDialog::showProgress(qint64 done, qint64 total)
{
    if (!job_ || total <= 0)
        return;
    progress_->setRange(0, 1000);
    progress_->setValue(int(std::clamp<qint64>(done * 1000 / total, 0, 1000)));
}

void CheckTableDialog::runCheck(const QString& path, const QString& heading)
{
    status_->setText(QStringLiteral("Verificando %1...").arg(QFileInfo(path).fileName()));
    const CheckFunction check = checkFunction();
    const std::shared_ptr<Shared> shared = shared_;
    runJob([shared, path, check](const check::CheckProgress& progress) { shared->report = check(path, progress); },
           [this, path, heading](const QString& error, bool cancelled) { checkFinished(path, heading, error, cancelled); },
           true);
}

void CheckTableDialog::checkFinished(const QString& path, const QString& heading, const QString& error, bool cancelled)
{
    if (cancelled) {
        // Whatever the check got to is dropped: a report of part of the table would mislead.
        status_->setText(QStringLiteral("Verificação cancelada; nada foi alterado."));
        return;
    }
    if (!error.isEmpty()) {
        status_->setText(QStringLiteral("A verificação não pôde ser feita: %1").arg(error));
        appendSection(heading, {error});
        return;
    }
    const check::CheckReport& report = shared_->report;
    QStringList lines;
    for (const check::Fault& f : report.faults)
        lines << check::formatFault(f);
    if (lines.isEmpty())
        lines << QStringLiteral("Nenhuma falha encontrada.");
    appendSection(heading, lines);
    const bool ofTable = path == table_;
    if (ofTable) {
        last_ = report;
        haveReport_ = true;
        lines_ = lines;
    }
    if (report.sound())
        status_->setText(QStringLiteral("Nenhuma falha encontrada."));
    else if (!ofTable)
        status_->setText(faultCount(qsizetype(report.faults.size())) + QStringLiteral(" na cópia."));
    else if (report.unreadable)
        status_->setText(faultCount(qsizetype(report.faults.size())) +
                         QStringLiteral(": a tabela não pôde ser lida e não pode ser reparada no lugar."));
    else if (check::damagedRecords(report))
        status_->setText(faultCount(qsizetype(report.faults.size())) +
                         QStringLiteral(". Há danos nos próprios registros: reparar no lugar perderia dados; "
                                        "salve uma cópia reparada com os registros que ainda podem ser lidos."));
    else
        status_->setText(faultCount(qsizetype(report.faults.size())) +
                         QStringLiteral(". \"Reparar\" corrige no lugar sem perder registros."));
}

void CheckTableDialog::appendSection(const QString& heading, const QStringList& lines)
{
    QStringList text;
    if (anything_)
        text << QString();
    if (!heading.isEmpty())
        text << heading;
    text << lines;
    report_->appendPlainText(text.join(QLatin1Char('\n')));
    anything_ = true;
}

void CheckTableDialog::updateButtons()
{
    const bool busy = !idle();
    const bool faults = haveReport_ && !last_.sound();
    repair_->setEnabled(!busy && faults && !last_.unreadable && !check::damagedRecords(last_));
    repair_->setToolTip(faults && check::damagedRecords(last_)
                            ? QStringLiteral("Há danos nos próprios registros: só uma cópia reparada pode salvá-los")
                            : QString());
    copy_->setEnabled(!busy && faults);
    undo_->setEnabled(!busy);
    cancel_->setVisible(busy);
    cancel_->setEnabled(busy && jobCancellable_);
    close_->setVisible(!busy);
}

void CheckTableDialog::reject()
{
    if (job_) {
        // A check stops at once; a repair under way is let finish (it is one journaled step).
        if (jobCancellable_) {
            job_->cancel();
            status_->setText(QStringLiteral("Cancelando..."));
        }
        return;
    }
    QDialog::reject();
}

void CheckTableDialog::repairInPlace()
{
    if (!idle() || !repair_->isEnabled())
        return;
    if (!toolkit::confirm(this, QStringLiteral("Reparar a tabela %1 no lugar ?\nA contagem de registros, a marca de fim "
                                               "de arquivo e os índices serão corrigidos a partir dos registros; "
                                               "o reparo pode ser desfeito com \"Desfazer\".")
                                    .arg(io::absolute(table_))))
        return;
    emit tableAboutToChange();
    status_->setText(QStringLiteral("Reparando %1...").arg(QFileInfo(table_).fileName()));
    const std::shared_ptr<Shared> shared = shared_;
    const QString path = table_;
    const check::CheckReport report = last_;
    runJob([shared, path, report](const check::CheckProgress&) { shared->outcome = check::repairInPlace(path, report); },
           [this](const QString& error, bool) { repairFinished(error); }, false);
}

void CheckTableDialog::repairFinished(const QString& error)
{
    if (!error.isEmpty()) {
        appendSection(QStringLiteral("O reparo não foi feito:"), {error});
        toolkit::showErrorBox(this, error);
    } else {
        QStringList done = shared_->outcome.done;
        if (done.isEmpty())
            done << QStringLiteral("nada precisou ser alterado");
        appendSection(QStringLiteral("Reparo feito:"), done);
        undo_->setVisible(io::undoableOperation(table_) == kRepairOperation);
    }
    runCheck(table_, QStringLiteral("Verificação depois do reparo:"));
}

void CheckTableDialog::chooseCopy()
{
    const QFileInfo info(table_);
    const QString suffix = info.suffix().toLower();
    const QString suggested = info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral("_reparada.") +
                              info.suffix();
    const QString filter = suffix == QLatin1String("db") ? QStringLiteral("Tabelas Paradox (*.db)")
                                                         : QStringLiteral("Tabelas dBase (*.dbf)");
    QString copy = QFileDialog::getSaveFileName(this, QStringLiteral("Salvar cópia reparada"), suggested, filter, nullptr,
                                                QFileDialog::DontConfirmOverwrite);
    if (copy.isEmpty())
        return;
    if (QFileInfo(copy).suffix().isEmpty())
        copy += QLatin1Char('.') + info.suffix();
    saveRepairedCopy(copy);
}

void CheckTableDialog::saveRepairedCopy(const QString& copy)
{
    if (!idle() || !copy_->isEnabled())
        return;
    const QFileInfo info(table_);
    if (QFileInfo(copy).suffix().compare(info.suffix(), Qt::CaseInsensitive) != 0) {
        toolkit::showErrorBox(this, QStringLiteral("A cópia reparada é uma tabela do mesmo formato: o nome %1 deve "
                                                   "terminar em .%2")
                                        .arg(copy, info.suffix()));
        return;
    }
    if (io::exists(copy) || io::isFolder(copy)) {
        toolkit::showErrorBox(this, QStringLiteral("O arquivo %1 já existe; escolha um nome novo para a cópia reparada")
                                        .arg(copy));
        return;
    }
    if (!toolkit::confirm(this, QStringLiteral("Gravar em %1 uma cópia reparada da tabela %2, com todos os registros que "
                                               "ainda podem ser lidos ?\nA tabela original não será alterada.")
                                    .arg(io::absolute(copy), io::absolute(table_))))
        return;
    emit tableAboutToChange();
    status_->setText(QStringLiteral("Gravando a cópia reparada %1...").arg(QFileInfo(copy).fileName()));
    const std::shared_ptr<Shared> shared = shared_;
    const QString path = table_;
    runJob([shared, path, copy](const check::CheckProgress& progress) {
               shared->outcome = check::repairToCopy(path, copy, progress);
           },
           [this, copy](const QString& error, bool) { copyFinished(copy, error); }, false);
}

void CheckTableDialog::copyFinished(const QString& copy, const QString& error)
{
    if (!error.isEmpty()) {
        appendSection(QStringLiteral("A cópia reparada não foi gravada:"), {error});
        status_->setText(QStringLiteral("A cópia reparada não foi gravada."));
        toolkit::showErrorBox(this, error);
        return;
    }
    const check::RepairOutcome& outcome = shared_->outcome;
    appendSection(QStringLiteral("Cópia reparada gravada em %1:").arg(io::absolute(copy)),
                  outcome.done.isEmpty() ? QStringList{QStringLiteral("todos os registros legíveis copiados")}
                                         : outcome.done);
    appendSection(QStringLiteral("Não foi possível salvar:"),
                  outcome.lost.isEmpty() ? QStringList{QStringLiteral("nada; nenhum registro foi perdido")} : outcome.lost);
    runCheck(copy, QStringLiteral("Verificação da cópia:"));
}

}  // namespace quillora::app
