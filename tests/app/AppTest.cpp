// The real windows, offscreen: start-up state, the small handlers, a run's progress window and
// "Cancelar".
#include "app/ProgressBar.h"
#include "app/Quillora.h"
#include "app/U_Progresso.h"
#include "run/RecordRun.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "tests/toolkit/ModalAnswer.h"
#include "tables/Session.h"
#include "tests/support/TestSupport.h"
#include "toolkit/FileNameEdit.h"
#include "toolkit/MessageBoxes.h"
#include "toolkit/PasswordBox.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quillora;
using namespace quillora::app;
using namespace quillora::test;

namespace {

// Types a path into a file edit and leaves it for the mapping list, as a user would.
void typeAndLeave(TF_Principal* w, toolkit::FileNameEdit* edit, const QString& path)
{
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    edit->lineEdit()->setFocus(Qt::TabFocusReason);
    edit->setText(path);
    w->Memo1->setFocus(Qt::TabFocusReason);
}

void makeSource(const QString& path, int records)
{
    QList<QList<Value>> rows;
    for (int i = 1; i <= records; ++i)
        rows << QList<Value>{Value::text(QString::number(i)), Value::text(QStringLiteral("Cliente %1").arg(i))};
    makeDbf(path, {textField("COD", 8), textField("NOME", 20)}, rows);
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TF_Principal> w;
    QTemporaryDir dir;
    QString src, dst;

    void prepareRun(int sourceRecords, const QString& mapping)
    {
        src = dir.path() + QStringLiteral("/fonte%1.dbf").arg(sourceRecords);
        if (!QFile::exists(src))
            makeSource(src, sourceRecords);
        dst = dir.path() + QStringLiteral("/destino.dbf");
        QFile::remove(dst);
        makeDbf(dst, {FieldDef{"NUM", ftInteger, 0}, textField("NOME_CLI", 20)});
        w->NTabelaFonte->setText(src);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setPlainText(mapping);
        w->ComboBox1->setCurrentIndex(0);
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

    void startUpState()
    {
        QCOMPARE(w->objectName(), QStringLiteral("F_Principal"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Quillora"));
        QVERIFY(w->NTabelaFonte->text().isEmpty());
        QVERIFY(w->NTabelaDestino->text().isEmpty());
        QVERIFY(w->Memo1->toPlainText().isEmpty());
        QCOMPARE(w->ComboBox1->currentIndex(), -1);
        QStringList items;
        for (int i = 0; i < w->ComboBox1->count(); ++i)
            items << w->ComboBox1->itemText(i);
        QCOMPARE(items, QStringList({"Adicionar", "Adicionar/Atualizar", "Copiar", "Apagar", "Atualizar"}));
        QCOMPARE(w->ChaveIndPai->count(), 0);
        QCOMPARE(w->ChaveIndFilho->count(), 0);
        QVERIFY(!w->progressWindow()->isVisible());
        QVERIFY(!w->Table1->Active() && !w->Table2->Active());

        struct Control {
            const char* name;
            const char* text;
            QRect geometry;
        };
        const Control controls[] = {
            {"NTabelaFonte", "", {4, 24, 377, 21}},       {"NTabelaDestino", "", {6, 68, 377, 21}},
            {"Memo1", "", {10, 168, 433, 141}},           {"ComboBox1", "", {6, 108, 149, 22}},
            {"BVer1", "Ver", {388, 24, 55, 25}},          {"BVer2", "Ver", {390, 64, 55, 25}},
            {"BLimpar", "Limpar Tabela", {158, 104, 106, 29}}, {"BMontar", "Montar...", {356, 104, 88, 29}},
            {"BProcessar", "Processar", {234, 376, 105, 29}},  {"BSair", "Sair", {342, 376, 105, 29}},
            {"BitBtn7", "Proc.Fonte", {6, 376, 105, 29}},      {"BitBtn8", "Proc. Destino", {114, 376, 117, 29}},
            {"BFiltro", "Filtro...", {266, 104, 88, 29}},      {"BLimparCampos", "Limpar Campos", {158, 136, 105, 29}},
            {"ChaveIndPai", "", {12, 336, 129, 22}},           {"BAtualizar", "Atualizar", {276, 332, 77, 29}},
            {"ChaveIndFilho", "", {144, 336, 129, 22}},        {"BitBtn1", "Comparar", {356, 332, 89, 29}},
            {"RxLabel1", "Tabela Fonte:", {2, 10, 78, 14}},    {"RxLabel2", "Tabela Destino:", {4, 50, 87, 14}},
            {"RxLabel3", "Operação:", {5, 90, 58, 14}},        {"RxLabel4", "Campos:", {8, 154, 48, 14}},
            {"Label1", "Chave Pai", {12, 320, 52, 14}},        {"Label2", "Chave Filho", {144, 320, 61, 14}},
        };
        QStringList tabOrderExpected;
        for (const Control& c : controls) {
            auto* widget = w->findChild<QWidget*>(QString::fromLatin1(c.name));
            QVERIFY2(widget, c.name);
            if (qobject_cast<QLabel*>(widget))
                QCOMPARE(widget->pos(), c.geometry.topLeft());  // labels fit their text
            else
                QCOMPARE(widget->geometry(), c.geometry);
            if (auto* b = qobject_cast<QPushButton*>(widget)) {
                QCOMPARE(b->text(), QString::fromUtf8(c.text));
                QVERIFY2(!b->icon().isNull(), c.name);
            }
            if (auto* l = qobject_cast<QLabel*>(widget))
                QCOMPARE(l->text(), QString::fromUtf8(c.text));
            else
                tabOrderExpected << QString::fromLatin1(c.name);
        }
        // The tab order, as the focus chain gives it, control by control.
        QStringList tabOrder;
        QWidget* at = w->NTabelaFonte->lineEdit();
        for (int i = 0; i < 500 && tabOrder.size() < tabOrderExpected.size(); ++i, at = at->nextInFocusChain()) {
            if (!(at->focusPolicy() & Qt::TabFocus) || !w->isAncestorOf(at))
                continue;
            QWidget* control = at;
            while (control->parentWidget() != w.get())
                control = control->parentWidget();
            if (!tabOrder.contains(control->objectName()))
                tabOrder << control->objectName();
        }
        QCOMPARE(tabOrder, tabOrderExpected);
    }

    void leavingAnEditBindsWithoutOpeningAndLimparTabela()
    {
        // Before any destination was chosen it asks nothing.
        auto unexpected = answerNextBox(QStringLiteral("&Não"));
        w->BLimpar->click();
        QTest::qWait(30);
        QCOMPARE(unexpected->count, 0);
        cancelPendingAnswers();

        const QString path = dir.path() + QStringLiteral("/limpar.dbf");
        makeSource(path, 3);
        typeAndLeave(w.get(), w->NTabelaDestino, path);
        QCOMPARE(w->Table2->FilePath(), path);
        QVERIFY(!w->Table2->Active());

        auto no = answerNextBox(QStringLiteral("&Não"));
        w->BLimpar->click();
        QCOMPARE(no->title, QStringLiteral("Confirmação"));
        QCOMPARE(no->text, QStringLiteral("A tabela destino terá todos os seus registros apagados, confirma ?"));
        QCOMPARE(rowsOf(path).size(), 3);
        QVERIFY(!w->Table2->Active());

        auto yes = answerNextBox(QStringLiteral("&Sim"));
        w->BLimpar->click();
        QCOMPARE(yes->count, 1);
        QCOMPARE(rowsOf(path).size(), 0);
        QVERIFY(!w->Table2->Active());

        // A file that does not exist: the default error box, the program goes on.
        typeAndLeave(w.get(), w->NTabelaDestino, dir.path() + QStringLiteral("/nao_existe.dbf"));
        auto error = answerNextBox(QStringLiteral("OK"));
        w->BLimpar->click();
        QCOMPARE(error->title, QStringLiteral("Quillora"));
        QVERIFY2(error->text.contains(QStringLiteral("nao_existe.dbf")), qPrintable(error->text));
    }

    void limparCampos()
    {
        w->Memo1->setPlainText(QStringLiteral("A=B\nC=@1"));
        auto no = answerNextBox(QStringLiteral("&Não"));
        w->BLimparCampos->click();
        QCOMPARE(no->text, QStringLiteral("Limpar o conteúdo dos campos ?"));
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("A=B\nC=@1"));
        answerNextBox(QStringLiteral("&Sim"));
        w->BLimparCampos->click();
        QVERIFY(w->Memo1->toPlainText().isEmpty());
    }

    void keyFieldListsRefill()
    {
        w->PreencheChaves({"COD", "NOME"}, {"NUM"});
        w->PreencheChaves({"A", "B"}, {"C", "D", "E"});
        QCOMPARE(w->ChaveIndPai->count(), 2);
        QCOMPARE(w->ChaveIndPai->itemText(1), QStringLiteral("B"));
        QCOMPARE(w->ChaveIndFilho->count(), 3);
        QCOMPARE(w->ChaveIndPai->currentIndex(), -1);
        QCOMPARE(w->ChaveIndFilho->currentIndex(), -1);
    }

    void processarShowsTheProgressAndAsksOnError()
    {
        prepareRun(5, QStringLiteral("NUM=COD\nNOME_CLI=NOME"));
        // Record 3 fails: its NUM gets a text that is not a number.
        {
            Table t(QStringLiteral("T"));
            t.Bind(src);
            t.Open();
            t.First();
            t.Next();
            t.Next();
            t.Edit();
            t.FieldByName(QStringLiteral("COD"))->SetAsString(QStringLiteral("x"));
            t.Post();
            t.Close();
        }
        bool visibleDuringQuestion = false;
        QString label;
        auto question = answerNextBox(QString(), [&](QWidget* box) {
            visibleDuringQuestion = w->progressWindow()->isVisible();
            label = w->progressWindow()->TextoSobre->text();
            for (auto* b : box->findChildren<QAbstractButton*>())
                if (b->text() == QStringLiteral("&Não"))
                    b->click();
        });
        w->BProcessar->click();
        QCOMPARE(question->title, QStringLiteral("*** Erro ***"));
        QCOMPARE(question->text,
                 QStringLiteral("Erro processando, Valor inválido para o campo 'NUM', cancelar o processo ?"));
        QVERIFY(visibleDuringQuestion);
        QCOMPARE(label, QStringLiteral("Processando..."));
        QVERIFY(!w->progressWindow()->isVisible());
        QVERIFY(w->progressWindow()->TextoSobre->text().isEmpty());
        QCOMPARE(w->progressWindow()->PBar->position(), 5);
        QVERIFY(!w->Table1->Active() && !w->Table2->Active());
        QCOMPARE(columnOf(dst, QStringLiteral("NUM")), QStringList({"1", "2", "4", "5"}));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void cancelarStopsARunAndTheMainWindowTakesNoInput()
    {
        const int total = 30000;
        prepareRun(total, QStringLiteral("NUM=COD\nNOME_CLI=NOME"));
        w->Memo1->setFocus();
        bool clickedDuringRun = false;
        QTimer poll;
        poll.setInterval(0);
        connect(&poll, &QTimer::timeout, [&] {
            if (!w->progressWindow()->isVisible() || clickedDuringRun)
                return;
            clickedDuringRun = true;
            // Neither a click nor a key on the main window does anything during the run.
            QTest::mouseClick(w->BLimparCampos, Qt::LeftButton);
            QTest::keyClick(w->Memo1, Qt::Key_A);
            answerNextBox(QStringLiteral("&Sim"));
            QTest::mouseClick(w->progressWindow()->BCancelar, Qt::LeftButton);
        });
        poll.start();
        w->BProcessar->click();
        poll.stop();
        QVERIFY(clickedDuringRun);
        QVERIFY(ProcessoCancelado);
        const qsizetype written = rowsOf(dst).size();
        qInfo("records written before Cancelar: %lld of %d", qint64(written), total);
        QVERIFY2(written < total, qPrintable(QString::number(written)));
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("NUM=COD\nNOME_CLI=NOME"));
        QVERIFY(!w->progressWindow()->isVisible());
        QVERIFY(!w->Table1->Active() && !w->Table2->Active());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // A protected Paradox source asks for its password in the toolkit's box, as the program
    // installs it, and the run then carries its records.
    void processarAsksForThePasswordOfAProtectedSource()
    {
        if (samplesDir().isEmpty())
            QSKIP("../shared/samples is not beside the project; sample tests skipped");
        Session::clearPasswords();
        Session::setPasswordPrompt(toolkit::tablePasswordPrompt());
        src = copyInto(dir.path(), {sample(QStringLiteral("paradox/paradoxdriver/encrypt/encrypted.db"))});
        dst = dir.path() + QStringLiteral("/protegido.dbf");
        QFile::remove(dst);
        makeDbf(dst, {FieldDef{"NUM", ftInteger, 0}, textField("TEXTO", 30)});
        w->NTabelaFonte->setText(src);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setPlainText(QStringLiteral("NUM=Id\nTEXTO=Text"));
        w->ComboBox1->setCurrentIndex(0);
        QString prompt;
        auto seen = answerNextBox(QString(), [&](QWidget* modal) {
            auto* box = qobject_cast<toolkit::PasswordBox*>(modal);
            if (!box) {
                modal->close();
                return;
            }
            prompt = box->prompt()->text();
            QTest::keyClicks(box->edit(), QStringLiteral("123"));
            box->okButton()->click();
        });
        w->BProcessar->click();
        Session::setPasswordPrompt({});
        Session::clearPasswords();
        QCOMPARE(seen->count, 1);
        QVERIFY2(prompt.startsWith(QStringLiteral("Informe a senha da tabela ")) && prompt.contains("encrypted.db"),
                 qPrintable(prompt));
        QCOMPARE(columnOf(dst, QStringLiteral("TEXTO")), QStringList({"Value 1", "Value 2", "Value 3", "Last one"}));
        QCOMPARE(columnOf(dst, QStringLiteral("NUM")), QStringList({"1", "2", "3", "4"}));
    }

    // Far into a long run, where the run looks at the clock only every few records, "Cancelar"
    // still stops it.
    void cancelarLateInALongRun()
    {
        const int total = 200000;
        prepareRun(total, QStringLiteral("NUM=COD\nNOME_CLI=NOME"));
        qint64 clickedAt = -1;
        QTimer poll;
        poll.setInterval(0);
        connect(&poll, &QTimer::timeout, [&] {
            const qint64 position = w->progressWindow()->PBar->position();
            if (!w->progressWindow()->isVisible() || clickedAt >= 0 || position < total / 10)
                return;
            clickedAt = position;
            answerNextBox(QStringLiteral("&Sim"));
            QTest::mouseClick(w->progressWindow()->BCancelar, Qt::LeftButton);
        });
        poll.start();
        w->BProcessar->click();
        poll.stop();
        QVERIFY(ProcessoCancelado);
        const qsizetype written = rowsOf(dst).size();
        qInfo("Cancelar at record %lld; records written: %lld of %d", clickedAt, qint64(written), total);
        QVERIFY(clickedAt >= total / 10);
        QCOMPARE(written, qsizetype(clickedAt));
    }

    void progressWindowRules()
    {
        TF_Progresso* p = w->progressWindow();
        QCOMPARE(p->objectName(), QStringLiteral("F_Progresso"));
        QCOMPARE(p->size(), QSize(453, 133));
        QCOMPARE(qRound(p->windowOpacity() * 255), 245);
        QVERIFY(p->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(p->PBar->geometry(), QRect(16, 60, 421, 21));
        QCOMPARE(p->TextoSobre->geometry(), QRect(16, 41, 421, 16));
        QCOMPARE(p->BCancelar->geometry(), QRect(322, 102, 115, 27));
        QCOMPARE(p->BCancelar->text(), QStringLiteral("Cancelar"));

        GradientProgressBar* bar = p->PBar;
        bar->setMaximum(10);
        bar->setPosition(20);
        QCOMPARE(bar->position(), 10);
        bar->setPosition(-5);
        QCOMPARE(bar->position(), 0);
        bar->setPosition(8);
        bar->setMaximum(5);
        QCOMPARE(bar->position(), 5);
        bar->setMaximum(-3);
        QCOMPARE(bar->maximum(), 0);
        bar->stepIt();
        QCOMPARE(bar->position(), 0);
        bar->setMaximum(3);
        bar->setStep(0);
        bar->stepIt();
        QCOMPARE(bar->position(), 1);
        bar->setStep(1);

        p->show();
        p->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p));
        QCOMPARE(p->TextoSobre->text(), QStringLiteral("Processando..."));
        QCOMPARE(bar->position(), 0);
        // "Cancelar" answered No: nothing changes, the busy cursor shows. Esc asks the same.
        ProcessoCancelado = false;
        auto no = answerNextBox(QStringLiteral("&Não"));
        QTest::keyClick(p->BCancelar, Qt::Key_Escape);
        QCOMPARE(no->text, QStringLiteral("Cancelar a operação em andamento ?"));
        QVERIFY(!ProcessoCancelado);
        QVERIFY(p->isVisible());
        QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        answerNextBox(QStringLiteral("&Sim"));
        p->BCancelar->click();
        QVERIFY(ProcessoCancelado);
        QVERIFY(!p->isVisible());
        QVERIFY(p->TextoSobre->text().isEmpty());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }

    // After "Não" the progress window is the active one again: a second Esc, typed wherever
    // the keyboard now goes, asks again.
    void escAfterNaoStillReachesTheProgressWindow()
    {
        TF_Progresso* p = w->progressWindow();
        p->show();
        p->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(p));
        ProcessoCancelado = false;
        for (int round = 0; round < 2; ++round) {
            QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(p));
            QWidget* keyboard =
                QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
            QVERIFY(keyboard);
            auto no = answerNextBox(QStringLiteral("&Não"));
            QTest::keyClick(keyboard, Qt::Key_Escape);
            QCOMPARE(no->count, 1);
            QCOMPARE(no->text, QStringLiteral("Cancelar a operação em andamento ?"));
            QVERIFY(!ProcessoCancelado);
            QVERIFY(p->isVisible());
        }
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(p));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(p->BCancelar));
        p->hide();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    toolkit::nameApplication();  // as the program does
    Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    registerBuiltinFormats();
    AppTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppTest.moc"
