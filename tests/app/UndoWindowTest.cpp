// "Desfazer" in the main window (Ctrl+Z) and the notice of an interrupted operation rolled back
// when its table is opened, offscreen with real table files.
#include "app/Quillora.h"
#include "app/RunSummaryDialog.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tables/io/File.h"
#include "tables/io/Journal.h"
#include "tests/run/DbfFixture.h"
#include "tests/safety/FamilySnapshot.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"
#include "views/ui/U_Filtro.h"
#include "toolkit/MessageBoxes.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/wait.h>
#include <unistd.h>

using namespace quillora;
using namespace quillora::app;
using namespace quillora::test;

class UndoWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TF_Principal> w;
    QTemporaryDir dir;
    QTemporaryDir state;

    QString table(const char* name, int records)
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QList<QList<Value>> rows;
        for (int i = 1; i <= records; ++i)
            rows << QList<Value>{Value::text(QString::number(i)), Value::text(QStringLiteral("Cliente %1").arg(i))};
        makeDbf(path, {textField("COD", 8), textField("NOME", 20)}, rows);
        return path;
    }

    void pressCtrlZ()
    {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    }
    static void clickButton(QWidget* box, const QString& text)
    {
        for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
            if (b->text() == text) {
                b->click();
                return;
            }
    }

private slots:
    void init()
    {
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
        w.reset(createWindows());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void cleanup()
    {
        cancelPendingAnswers();
        w.reset();
        qunsetenv("XDG_STATE_HOME");
    }

    void ctrlZUndoesTheLastRunAfterAskingNamingTableAndOperation()
    {
        const QString src = table("fonte.dbf", 5);
        const QString dst = table("destino.dbf", 0);
        const FolderSnapshot before = snapshotFolder(dir.path());
        w->NTabelaFonte->setText(src);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setPlainText(QStringLiteral("COD=COD\nNOME=NOME"));
        w->ComboBox1->setCurrentIndex(0);
        w->BProcessar->click();
        QCOMPARE(rowsOf(dst).size(), 5);

        // "Não" keeps the run.
        auto no = answerNextBox(QStringLiteral("&Não"));
        pressCtrlZ();
        QCOMPARE(no->title, QStringLiteral("Confirmação"));
        QCOMPARE(no->text, QStringLiteral("Desfazer a operação \"Adicionar\" na tabela %1 ?\nTodos os arquivos da tabela "
                                          "voltarão a ser como eram antes dela.")
                               .arg(dst));
        QCOMPARE(rowsOf(dst).size(), 5);

        // "Sim", then the message that it is done.
        std::shared_ptr<SeenBox> done;
        auto yes = answerNextBox(QStringLiteral("&Sim"), [&](QWidget* box) {
            done = answerNextBox(QStringLiteral("&Ok"));
            clickButton(box, QStringLiteral("&Sim"));
        });
        pressCtrlZ();
        QCOMPARE(yes->count, 1);
        QVERIFY(done && done->count == 1);
        QCOMPARE(done->text, QStringLiteral("Operação \"Adicionar\" desfeita: a tabela %1 está como antes dela.").arg(dst));
        QCOMPARE(QString::fromStdString(folderDifferences(snapshotFolder(dir.path()), before).toStdString()), QString());

        // Nothing left: it says so and changes nothing.
        auto nothing = answerNextBox(QStringLiteral("&Ok"));
        pressCtrlZ();
        QCOMPARE(nothing->count, 1);
        QVERIFY2(nothing->text.startsWith(QStringLiteral("Não há operação a desfazer")), qPrintable(nothing->text));
    }

    void theRunSummaryOffersToUndoTheRun()
    {
        const QString src = table("fonte2.dbf", 4);
        const QString dst = table("destino2.dbf", 0);
        const QByteArray before = readFile(dst);
        w->NTabelaFonte->setText(src);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setPlainText(QStringLiteral("COD=COD\nNOME=NOME"));
        w->ComboBox1->setCurrentIndex(0);
        w->BProcessar->click();
        auto* summary = w->findChild<RunSummaryDialog*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(summary && summary->isVisible());
        auto* undo = summary->findChild<QPushButton*>(QStringLiteral("undoRun"));
        QVERIFY(undo && undo->isVisible());

        std::shared_ptr<SeenBox> done;
        auto yes = answerNextBox(QStringLiteral("&Sim"), [&](QWidget* box) {
            done = answerNextBox(QStringLiteral("&Ok"));
            clickButton(box, QStringLiteral("&Sim"));
        });
        undo->click();
        QCOMPARE(yes->count, 1);
        QVERIFY2(yes->text.startsWith(QStringLiteral("Desfazer a operação \"Adicionar\" na tabela %1").arg(dst)),
                 qPrintable(yes->text));
        QVERIFY(done && done->count == 1);
        QVERIFY(!summary->isVisible());
        QCOMPARE(readFile(dst), before);
    }

    void theWindowKeepsItsSizeAndShowsWhenAFilterIsOn()
    {
        w->resize(200, 150);
        QCOMPARE(w->size(), QSize(464, 418));

        const QString src = table("filtrada.dbf", 3);
        w->NTabelaFonte->setText(src);
        w->Table1->Bind(src);
        QCOMPARE(w->BFiltro->text(), QStringLiteral("Filtro..."));
        answerNextBox(QString(), [](QWidget* modal) {
            auto* d = qobject_cast<views::TF_Filtro*>(modal);
            QVERIFY(d);
            d->Edit1->setText(QStringLiteral("NOME = 'Cliente 2'"));
            d->BitBtn1->click();
        });
        w->BFiltro->click();
        QCOMPARE(w->BFiltro->text(), QStringLiteral("Filtro...*"));
        QCOMPARE(w->BFiltro->toolTip(), QStringLiteral("Filtro ativo na tabela fonte: NOME = 'Cliente 2'"));
    }

    void anInterruptedOperationIsRolledBackWithANoticeWhenTheTableIsOpened()
    {
        const QString dst = table("interrompida.dbf", 3);
        const QByteArray original = readFile(dst);
        // A program killed in the middle of an operation: the journal stays, not complete.
        const pid_t pid = ::fork();
        if (pid == 0) {
            io::Operation op(QStringLiteral("Atualizar"), {dst});
            io::File f(dst, io::OpenMode::ReadWrite);
            f.write(0, QByteArray(200, 'x'));
            f.sync();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        QVERIFY(readFile(dst) != original);

        // The notice comes first, then "Limpar Tabela"'s own question.
        std::shared_ptr<SeenBox> no;
        auto notice = answerNextBox(QStringLiteral("&Ok"), [&](QWidget* box) {
            no = answerNextBox(QStringLiteral("&Não"));
            clickButton(box, QStringLiteral("&Ok"));
        });
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        w->NTabelaDestino->lineEdit()->setFocus(Qt::TabFocusReason);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setFocus(Qt::TabFocusReason);
        w->BLimpar->click();
        QCOMPARE(notice->count, 1);
        QVERIFY(no && no->count == 1);
        QCOMPARE(no->title, QStringLiteral("Confirmação"));
        QCOMPARE(notice->title, QStringLiteral("!!! Aviso !!!"));
        QCOMPARE(notice->text, QStringLiteral("A operação \"Atualizar\" na tabela %1 foi interrompida; a tabela foi "
                                              "restaurada como estava antes dela")
                                   .arg(dst));
        QCOMPARE(readFile(dst), original);
        QCOMPARE(rowsOf(dst).size(), 3);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    toolkit::nameApplication();  // as the program does
    Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    registerBuiltinFormats();
    UndoWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "UndoWindowTest.moc"
