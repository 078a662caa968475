// The window side of a run's results, offscreen: the error question's "Não perguntar novamente"
// check box and the summary shown after the run.
#include "app/Quillora.h"
#include "app/RunSummaryDialog.h"
#include "app/U_Progresso.h"
#include "run/RecordRun.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tables/io/Backend.h"
#include "tables/io/FaultyBackend.h"
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"
#include "toolkit/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <limits>
#include <memory>

using namespace quillora;
using namespace quillora::app;
using namespace quillora::test;

namespace {

// What the error questions of a run showed, answered by `answer` (the button's text) and the
// check box ticked when `tick`.
struct Questions {
    int count = 0;
    QStringList texts;
    QString title;
    QStringList buttons;
    QString checkText;
    bool checkedAtFirst = true;
};

void answerEveryQuestion(const std::shared_ptr<Questions>& seen, const QString& answer, bool tick)
{
    answerNextBox(QString(), [seen, answer, tick](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        ++seen->count;
        seen->texts << box->text();
        seen->title = box->windowTitle();
        seen->buttons.clear();
        for (QAbstractButton* b : box->buttons())
            seen->buttons << b->text();
        if (QCheckBox* check = box->checkBox()) {
            seen->checkText = check->text();
            seen->checkedAtFirst = check->isChecked();
            check->setChecked(tick);
        }
        answerEveryQuestion(seen, answer, tick);  // ready for the next one
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == answer) {
                b->click();
                return;
            }
        }
    });
}

}  // namespace

class RunResultWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TF_Principal> w;
    QTemporaryDir dir;
    QString src, dst;

    // Five source records; 2, 3 and 4 have a COD that NUM cannot take.
    void prepareRun()
    {
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        QFile::remove(src);
        QFile::remove(dst);
        makeDbf(src, {textField("COD", 8), textField("NOME", 20)},
                {{txt("1"), txt("Ana")},
                 {txt("x"), txt("Bia")},
                 {txt("y,1"), txt("Caio")},
                 {txt("z"), txt("Davi")},
                 {txt("5"), txt("Eva")}});
        makeDbf(dst, {FieldDef{"NUM", ftInteger, 0}, textField("NOME_CLI", 20)});
        w->NTabelaFonte->setText(src);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setPlainText(QStringLiteral("NUM=COD\nNOME_CLI=NOME"));
        w->ComboBox1->setCurrentIndex(0);
    }
    RunSummaryDialog* summary() const
    {
        return w->findChild<RunSummaryDialog*>(QString(), Qt::FindDirectChildrenOnly);
    }

private slots:
    void init()
    {
        w.reset(createWindows());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void cleanup()
    {
        cancelPendingAnswers();
        w.reset();
    }

    // The box is the one it always was, plus an unchecked check box; ticked, its answer holds
    // for the rest of the run and the next run asks again.
    void dontAskAgainAppliesTheAnswerToTheRestOfTheRun_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<int>("failed");
        QTest::newRow("Não, sem marcar") << "&Não" << false << 3 << QStringList({"Ana", "Eva"}) << 3;
        QTest::newRow("Não, marcado") << "&Não" << true << 1 << QStringList({"Ana", "Eva"}) << 3;
        QTest::newRow("Sim, marcado") << "&Sim" << true << 1 << QStringList({"Ana"}) << 1;
    }
    void dontAskAgainAppliesTheAnswerToTheRestOfTheRun()
    {
        QFETCH(QString, answer);
        QFETCH(bool, tick);
        QFETCH(int, questions);
        QFETCH(QStringList, written);
        QFETCH(int, failed);
        for (int run = 0; run < 2; ++run) {
            prepareRun();
            auto seen = std::make_shared<Questions>();
            answerEveryQuestion(seen, answer, tick);
            w->BProcessar->click();
            cancelPendingAnswers();
            QCOMPARE(seen->count, questions);
            QCOMPARE(seen->title, QStringLiteral("*** Erro ***"));
            QCOMPARE(seen->texts.first(),
                     QStringLiteral("Erro processando, Valor inválido para o campo 'NUM', cancelar o processo ?"));
            QCOMPARE(seen->buttons, QStringList({"&Sim", "&Não"}));
            QCOMPARE(seen->checkText, QStringLiteral("Não perguntar novamente neste processamento"));
            QVERIFY(!seen->checkedAtFirst);
            QCOMPARE(columnOf(dst, QStringLiteral("NOME_CLI")), written);
            RunSummaryDialog* dialog = summary();
            QVERIFY(dialog);
            QVERIFY(dialog->isVisible());
            const QString text = dialog->findChild<QLabel*>(QStringLiteral("summaryText"))->text();
            QVERIFY2(text.startsWith(QStringLiteral("Registros lidos: %1\nIncluídos: %2\n")
                                         .arg(written.size() + failed)
                                         .arg(written.size())),
                     qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("\nCom erro: %1\n").arg(failed)), qPrintable(text));
        }
        // One summary window, whatever the number of runs.
        QCOMPARE(w->findChildren<RunSummaryDialog*>().size(), 1);
    }

    // The summary follows the progress window, says what the run did, and saves the failed
    // records as the command line writes them.
    void summaryAfterTheRunSavesTheFailedRecords()
    {
        prepareRun();
        auto seen = std::make_shared<Questions>();
        answerEveryQuestion(seen, QStringLiteral("&Não"), true);
        w->BProcessar->click();
        cancelPendingAnswers();
        QVERIFY(!w->progressWindow()->isVisible());
        RunSummaryDialog* dialog = summary();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Resumo do processamento"));
        QVERIFY(!dialog->isModal());
        const QString text = dialog->findChild<QLabel*>(QStringLiteral("summaryText"))->text();
        QVERIFY2(QRegularExpression(QStringLiteral("^Registros lidos: 5\nIncluídos: 2\nAlterados: 0\nInalterados: 0\n"
                                                   "Sem correspondência: 0\nCom erro: 3\nTempo: \\d+,\\d\\d s$"))
                     .match(text)
                     .hasMatch(),
                 qPrintable(text));
        auto* save = dialog->findChild<QPushButton*>(QStringLiteral("saveFailures"));
        QVERIFY(save && save->isVisible());
        // QUILLORA_SCREENSHOTS=folder: the picture of the summary for the documentation.
        const QString shot = qEnvironmentVariable("QUILLORA_SCREENSHOTS");
        if (!shot.isEmpty())
            QVERIFY(dialog->grab().save(shot + QStringLiteral("/run-summary.png")));
        const QString csv = dir.path() + QStringLiteral("/erros.csv");
        QVERIFY(dialog->saveFailures(csv));
        QCOMPARE(readFile(csv), QByteArray("registro,chave,erro\r\n"
                                           "2,x,Valor inválido para o campo 'NUM'\r\n"
                                           "3,\"y,1\",Valor inválido para o campo 'NUM'\r\n"
                                           "4,z,Valor inválido para o campo 'NUM'\r\n"));

        // A run without failures shows no save button.
        w->Memo1->setPlainText(QStringLiteral("NOME_CLI=NOME"));
        w->BProcessar->click();
        QCOMPARE(summary(), dialog);
        QVERIFY(!save->isVisible());
        QVERIFY2(dialog->findChild<QLabel*>(QStringLiteral("summaryText"))
                     ->text()
                     .startsWith(QStringLiteral("Registros lidos: 5\nIncluídos: 5\n")),
                 qPrintable(dialog->findChild<QLabel*>(QStringLiteral("summaryText"))->text()));
    }

    // A write that fails ends the run and undoes it; the summary still comes, with the failure
    // counted, the undo told and no "Desfazer", and then the error.
    void aRunUndoneAfterAFailedWriteStillShowsItsSummary()
    {
        const QString mapping = QStringLiteral("NOME_CLI=NOME");
        qint64 writes = 0;
        {
            prepareRun();
            w->Memo1->setPlainText(mapping);
            io::FaultyBackend counting(io::posixBackend());
            io::ScopedBackend use(counting);
            counting.failAt(std::numeric_limits<qint64>::max(), io::FaultyBackend::Write, ENOSPC);
            w->BProcessar->click();
            writes = counting.counted();
        }
        QVERIFY(writes > 2);
        for (qint64 n = writes / 2; n <= writes; ++n) {
            prepareRun();
            w->Memo1->setPlainText(mapping);
            const QByteArray before = readFile(dst);
            QString summaryAtError;
            auto error = answerNextBox({}, [&](QWidget* box) {
                if (RunSummaryDialog* d = summary())
                    summaryAtError = d->isVisible() ? d->findChild<QLabel*>(QStringLiteral("summaryText"))->text() : QString();
                box->close();
            });
            io::FaultyBackend faulty(io::posixBackend());
            {
                io::ScopedBackend use(faulty);
                faulty.failAt(n, io::FaultyBackend::Write, ENOSPC);
                w->BProcessar->click();
            }
            cancelPendingAnswers();
            if (error->count == 0)
                continue;  // a write the run could do without
            QVERIFY2(error->text.contains(QStringLiteral("A operação foi desfeita")), qPrintable(error->text));
            QCOMPARE(readFile(dst), before);
            QVERIFY2(summaryAtError.contains(QStringLiteral("\nCom erro: 1\n")), qPrintable(summaryAtError));
            QVERIFY2(summaryAtError.contains(
                         QStringLiteral("A gravação falhou: o processamento foi desfeito e nenhuma alteração foi mantida.")),
                     qPrintable(summaryAtError));
            QVERIFY(summary()->findChild<QPushButton*>(QStringLiteral("undoRun"))->isHidden());
            return;
        }
        QFAIL("no failed write ended the run");
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    toolkit::nameApplication();
    Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    registerBuiltinFormats();
    RunResultWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RunResultWindowTest.moc"
