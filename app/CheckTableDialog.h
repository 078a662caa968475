#pragma once

#include "tables/check/TableRepair.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace quillora::app {

class EngineJob;

// "Verificar tabela...": checks a table family off the window's thread with a progress bar and
// "Cancelar", shows every fault found (one line each, as quillora-cli check prints them) and
// offers "Reparar" (in place, undoable) and "Salvar cópia reparada..." (a new table with every
// readable record), each after a confirmation naming what it will do. After either, the table
// (or the copy) is checked again.
class CheckTableDialog : public QDialog {
    Q_OBJECT

public:
    using CheckFunction = std::function<check::CheckReport(const QString& path, const check::CheckProgress&)>;

    CheckTableDialog(const QString& table, QWidget* parent = nullptr);
    ~CheckTableDialog() override;

    // Starts the check (a window with a table just shown calls it once).
    void start();
    // Whether no check or repair is running.
    bool idle() const;
    // The last check's lines ("Nenhuma falha encontrada." when sound) and the whole report.
    QStringList faultLines() const { return lines_; }
    QString reportText() const;

    // "Reparar" and "Salvar cópia reparada..." once their question or file name is settled:
    // each asks for the confirmation first and does nothing without it.
    void repairInPlace();
    void saveRepairedCopy(const QString& copy);

    QPushButton* repairButton() const { return repair_; }
    QPushButton* copyButton() const { return copy_; }
    QPushButton* undoButton() const { return undo_; }
    QPushButton* cancelButton() const { return cancel_; }

    static QString title() { return QStringLiteral("Verificar tabela"); }
    // Tests put a slower check in place of the real one; an empty function puts it back.
    static void setCheckFunction(CheckFunction check);

signals:
    // Before the family is changed: the window closes what it holds open of it.
    void tableAboutToChange();
    // "Desfazer": the window undoes the repair (asking first); then the table is checked again.
    void undoRequested(const QString& table);

public slots:
    void checkAgain();

protected:
    void reject() override;

private:
    struct Shared;
    // Runs `work` on its own thread; `done` gets the error it ended with and whether it was
    // cancelled.
    void runJob(const std::function<void(const check::CheckProgress&)>& work,
                const std::function<void(const QString& error, bool cancelled)>& done, bool cancellable);
    void showProgress(qint64 done, qint64 total);
    void runCheck(const QString& path, const QString& heading);
    void checkFinished(const QString& path, const QString& heading, const QString& error, bool cancelled);
    void repairFinished(const QString& error);
    void copyFinished(const QString& copy, const QString& error);
    void chooseCopy();
    void appendSection(const QString& heading, const QStringList& lines);
    void updateButtons();

    QString table_;
    QLabel* status_;
    QProgressBar* progress_;
    QPlainTextEdit* report_;
    QPushButton* repair_;
    QPushButton* copy_;
    QPushButton* undo_;
    QPushButton* cancel_;
    QPushButton* close_;
    QPointer<EngineJob> job_;
    bool jobCancellable_ = false;
    std::shared_ptr<Shared> shared_;
    check::CheckReport last_;
    bool haveReport_ = false;
    QStringList lines_;
    bool anything_ = false;  // the report box holds a section already
};

}  // namespace quillora::app
