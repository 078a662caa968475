// "Verificar tabela..." in the file boxes' menus, the check dialog over damaged dBase tables
// (report, repair in place with its confirmation and undo, a repaired copy, cancel) and the
// notice a damaged table gives when the window opens it; offscreen with real table files.
#include "app/CheckTableDialog.h"
#include "app/Quillora.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tables/io/FileOps.h"
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"
#include "toolkit/MessageBoxes.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTranslator>
#include <QLibraryInfo>

#include <memory>

using namespace quillora;
using namespace quillora::app;
using namespace quillora::test;

namespace {

QAction* actionNamed(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void clickButton(QWidget* box, const QString& text)
{
    for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
        if (b->text() == text) {
            b->click();
            return;
        }
}

// QUILLORA_SCREENSHOTS=folder: a picture for the documentation (the widget, and menus open
// over it where they show).
void savePicture(QWidget& widget, const QList<QMenu*>& menus, const QString& name)
{
    const QString folder = qEnvironmentVariable("QUILLORA_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    const QPoint origin = widget.mapToGlobal(QPoint(0, 0));
    QRect all = widget.rect();
    for (QMenu* m : menus)
        all |= QRect(m->pos() - origin, m->size());
    QPixmap picture(all.size());
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.drawPixmap(-all.topLeft(), widget.grab());
    for (QMenu* m : menus)
        p.drawPixmap(m->pos() - origin - all.topLeft(), m->grab());
    p.end();
    QVERIFY(picture.save(folder + QLatin1Char('/') + name));
}

// As answerNextBox, for the next message box only: the check dialog, window-modal itself, is
// the active modal widget while its work runs and is passed over.
std::shared_ptr<SeenBox> answerNextMessageBox(const QString& buttonText)
{
    auto seen = std::make_shared<SeenBox>();
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, seen, buttonText] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        timer->deleteLater();
        ++seen->count;
        seen->title = box->windowTitle();
        seen->text = box->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == buttonText) {
                b->click();
                return;
            }
        box->close();
    });
    pendingAnswers().append(timer);
    timer->start();
    return seen;
}

QByteArray withCount(QByteArray dbf, quint32 count)
{
    for (int i = 0; i < 4; ++i)
        dbf[4 + i] = char((count >> (8 * i)) & 0xFF);
    return dbf;
}

}  // namespace

class CheckTableWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TF_Principal> w;
    QTemporaryDir dir;
    QTemporaryDir state;

    // Five records written by our own writer, then damaged by `damage` (the bytes of the .dbf).
    QString table(const QString& name, const std::function<QByteArray(QByteArray)>& damage = {})
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QList<QList<Value>> rows;
        for (int i = 1; i <= 5; ++i)
            rows << QList<Value>{Value::text(QString::number(i)), Value::text(QStringLiteral("Cliente %1").arg(i))};
        makeDbf(path, {textField("COD", 8), textField("NOME", 20)}, rows);
        if (damage)
            writeFile(path, damage(readFile(path)));
        return path;
    }

    CheckTableDialog* openCheck(toolkit::FileNameEdit* box, const QString& path)
    {
        box->setText(path);
        QAction* action = box == w->NTabelaFonte ? w->checkSourceAction : w->checkDestinationAction;
        action->trigger();
        auto* dialog = w->findChild<CheckTableDialog*>();
        if (dialog && !QTest::qWaitFor([dialog] { return dialog->idle(); }, 20000))
            return nullptr;
        return dialog;
    }

    void closeDialog(CheckTableDialog* dialog)
    {
        QPointer<CheckTableDialog> gone(dialog);
        dialog->findChild<QPushButton*>(QStringLiteral("closeCheck"))->click();
        QTRY_VERIFY(gone.isNull());
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
        CheckTableDialog::setCheckFunction({});
        w.reset();
        qunsetenv("XDG_STATE_HOME");
    }

    // Both file boxes offer it, for the table named there.
    void bothFileBoxesOfferTheCheck()
    {
        const QString path = table(QStringLiteral("menu/clientes.dbf"));
        for (toolkit::FileNameEdit* box : {w->NTabelaFonte, w->NTabelaDestino}) {
            box->setText(QString());
            std::unique_ptr<QMenu> menu(box->createContextMenu());
            QAction* check = actionNamed(menu.get(), QStringLiteral("Verificar tabela..."));
            QVERIFY2(check, qPrintable(box->objectName()));
            QVERIFY(!check->isEnabled());  // no table named yet
            box->setText(path);
            menu.reset(box->createContextMenu());
            check = actionNamed(menu.get(), QStringLiteral("Verificar tabela..."));
            QVERIFY(check && check->isEnabled());
            QVERIFY(menu->findChild<QMenu*>(QStringLiteral("RecentFilesMenu")));  // the recent tables stay

            check->trigger();
            auto* dialog = w->findChild<CheckTableDialog*>();
            QVERIFY(dialog && dialog->isVisible());
            QTRY_VERIFY(dialog->idle());
            QCOMPARE(dialog->faultLines(), QStringList{QStringLiteral("Nenhuma falha encontrada.")});
            QVERIFY(!dialog->repairButton()->isEnabled() && !dialog->copyButton()->isEnabled());
            closeDialog(dialog);
        }

        if (!qEnvironmentVariable("QUILLORA_SCREENSHOTS").isEmpty()) {
            // As the program shows it (its session names the recent tables), with paths as a
            // user's would read.
            w->NTabelaFonte->setRecentTitle(QStringLiteral("Tabelas recentes"));
            w->NTabelaFonte->setText(QStringLiteral("/dados/vendas/clientes.dbf"));
            w->NTabelaFonte->setRecentFiles({QStringLiteral("/dados/vendas/clientes.dbf")});
            w->NTabelaDestino->setText(QStringLiteral("/dados/vendas/clientes2.dbf"));
            std::unique_ptr<QMenu> menu(w->NTabelaFonte->createContextMenu());
            menu->popup(w->NTabelaFonte->lineEdit()->mapToGlobal(QPoint(60, 14)));
            menu->setActiveAction(actionNamed(menu.get(), QStringLiteral("Verificar tabela...")));
            savePicture(*w, {menu.get()}, QStringLiteral("check-table-menu.png"));
            menu->close();
        }
    }

    // Faults that the records can mend: listed as check prints them, mended by "Reparar" once
    // confirmed (not before), the table then sound for us and for the check, and the repair
    // undone by "Desfazer" to the very bytes it found.
    void repairInPlace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("done");
        QTest::newRow("count too low") << QStringLiteral("baixa.dbf") << 0
                                       << QStringLiteral("cabeçalho: o cabeçalho conta 4 registros, mas o arquivo tem 5")
                                       << QStringLiteral("contagem de registros do cabeçalho corrigida de 4 para 5");
        QTest::newRow("no end mark") << QStringLiteral("semfim.dbf") << 1
                                     << QStringLiteral("falta a marca de fim de arquivo (0x1A)")
                                     << QStringLiteral("marca de fim de arquivo restaurada");
    }
    void repairInPlace()
    {
        QFETCH(QString, name);
        QFETCH(int, damage);
        QFETCH(QString, fault);
        QFETCH(QString, done);
        const QString path = table(name, [damage](QByteArray b) {
            if (damage == 0)
                return withCount(b, 4);
            b.chop(1);
            return b;
        });
        const QByteArray damaged = readFile(path);
        // The window holds the table open (the notice of a damaged one answered): the repair
        // closes it, so nothing reads stale data.
        w->Table2->Bind(path);
        answerNextBox(QStringLiteral("&Ok"));
        w->Table2->Open();
        cancelPendingAnswers();
        QVERIFY(w->Table2->Active());

        CheckTableDialog* dialog = openCheck(w->NTabelaDestino, path);
        QVERIFY(dialog);
        QCOMPARE(dialog->faultLines().size(), 1);
        QVERIFY2(dialog->faultLines().first().startsWith(path + QStringLiteral(": ")) &&
                     dialog->faultLines().first().endsWith(fault),
                 qPrintable(dialog->faultLines().first()));
        QVERIFY(dialog->repairButton()->isEnabled());

        // "Não": nothing changes.
        auto no = answerNextBox(QStringLiteral("&Não"));
        dialog->repairButton()->click();
        QCOMPARE(no->count, 1);
        QCOMPARE(no->title, QStringLiteral("Confirmação"));
        QVERIFY2(no->text.startsWith(QStringLiteral("Reparar a tabela %1 no lugar ?").arg(path)), qPrintable(no->text));
        QCOMPARE(readFile(path), damaged);
        QVERIFY(w->Table2->Active());

        auto yes = answerNextBox(QStringLiteral("&Sim"));
        dialog->repairButton()->click();
        QCOMPARE(yes->count, 1);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->idle(), 20000);
        QVERIFY(!w->Table2->Active());
        QCOMPARE(dialog->faultLines(), QStringList{QStringLiteral("Nenhuma falha encontrada.")});
        QVERIFY2(dialog->reportText().contains(QStringLiteral("Reparo feito:\n") + done), qPrintable(dialog->reportText()));
        QCOMPARE(rowsOf(path).size(), 5);
        QCOMPARE(rowsOf(path).last(), (QStringList{QStringLiteral("5"), QStringLiteral("Cliente 5")}));
        const QByteArray repaired = readFile(path);
        QCOMPARE(uchar(repaired[4]), uchar(5));
        QCOMPARE(repaired.back(), '\x1A');
        QVERIFY(!dialog->repairButton()->isEnabled());

        if (damage == 0 && !qEnvironmentVariable("QUILLORA_SCREENSHOTS").isEmpty()) {
            dialog->resize(700, 400);
            savePicture(*dialog, {}, QStringLiteral("check-table.png"));
        }

        // "Desfazer reparo": asked, done, told; the table is as it was found and checked again.
        QVERIFY(dialog->undoButton()->isVisible());
        std::shared_ptr<SeenBox> told;
        auto undo = answerNextBox(QString(), [&](QWidget* box) {
            told = answerNextBox(QStringLiteral("&Ok"));
            clickButton(box, QStringLiteral("&Sim"));
        });
        dialog->undoButton()->click();
        QCOMPARE(undo->count, 1);
        QVERIFY2(undo->text.startsWith(QStringLiteral("Desfazer a operação \"Reparar\" na tabela %1").arg(path)),
                 qPrintable(undo->text));
        QVERIFY(told && told->count == 1);
        QCOMPARE(readFile(path), damaged);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->idle(), 20000);
        QVERIFY(!dialog->undoButton()->isVisible());
        QCOMPARE(dialog->faultLines().size(), 1);
        QVERIFY(dialog->faultLines().first().endsWith(fault));

        closeDialog(dialog);
    }

    // Damage in the records themselves (records the header counts are not in the file):
    // "Reparar" would lose data and is off; a repaired copy is offered, and whatever comes of it
    // the original stays as it is.
    void damagedRecordsOfferOnlyACopy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("fault");
        QTest::newRow("file cut short") << QStringLiteral("truncada.dbf") << 0
                                        << QStringLiteral("o cabeçalho conta 5 registros, mas o arquivo só tem 4 completos");
        QTest::newRow("count too high") << QStringLiteral("alta.dbf") << 1
                                        << QStringLiteral("o cabeçalho conta 7 registros, mas o arquivo só tem 5 completos");
    }
    void damagedRecordsOfferOnlyACopy()
    {
        QFETCH(QString, name);
        QFETCH(int, damage);
        QFETCH(QString, fault);
        const QString path = table(name, [damage](QByteArray b) {
            if (damage == 1)
                return withCount(b, 7);
            b.chop(8);  // the last record cut short, the header still counting it
            return b;
        });
        const QByteArray original = readFile(path);
        CheckTableDialog* dialog = openCheck(w->NTabelaFonte, path);
        QVERIFY(dialog);
        QVERIFY2(dialog->faultLines().join('\n').contains(fault), qPrintable(dialog->faultLines().join('\n')));
        QVERIFY(!dialog->repairButton()->isEnabled());
        QVERIFY(dialog->copyButton()->isEnabled());
        const QString status = dialog->findChild<QLabel*>(QStringLiteral("checkStatus"))->text();
        QVERIFY2(status.contains(QStringLiteral("cópia reparada")), qPrintable(status));

        // A name of another format is refused before anything is asked.
        auto refused = answerNextBox(QStringLiteral("&Ok"));
        dialog->saveRepairedCopy(dir.filePath(QStringLiteral("copia.db")));
        QCOMPARE(refused->count, 1);
        QVERIFY2(refused->text.contains(QStringLiteral("deve terminar em .dbf")), qPrintable(refused->text));

        const QString copy = dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral("_reparada.dbf"));
        std::shared_ptr<SeenBox> error;
        auto yes = answerNextBox(QString(), [&](QWidget* box) {
            error = answerNextMessageBox(QStringLiteral("&Ok"));
            clickButton(box, QStringLiteral("&Sim"));
        });
        dialog->saveRepairedCopy(copy);
        QCOMPARE(yes->count, 1);
        QVERIFY2(yes->text.startsWith(QStringLiteral("Gravar em %1 uma cópia reparada da tabela %2").arg(copy, path)),
                 qPrintable(yes->text));
        QTRY_VERIFY_WITH_TIMEOUT(dialog->idle(), 20000);
        QCOMPARE(readFile(path), original);
        if (io::exists(copy)) {
            // Written: the copy is checked, and is sound.
            QVERIFY2(dialog->reportText().contains(QStringLiteral("Verificação da cópia:\nNenhuma falha encontrada.")),
                     qPrintable(dialog->reportText()));
            cancelPendingAnswers();
        } else {
            // Refused by the engine: its reason is shown, in the box and in the report.
            QTRY_COMPARE(error->count, 1);
            QVERIFY2(dialog->reportText().contains(QStringLiteral("A cópia reparada não foi gravada:\n") + error->text.chopped(1)),
                     qPrintable(dialog->reportText() + QStringLiteral(" | ") + error->text));
        }
        closeDialog(dialog);
    }

    // A structure fault is told when the window opens the table, once; a sound table and a
    // slip other programs read past (no end mark) open without a word.
    void openingADamagedTableTellsOnce()
    {
        const QString damaged = table(QStringLiteral("aviso/baixa.dbf"), [](QByteArray b) { return withCount(b, 3); });
        const QString sound = table(QStringLiteral("aviso/boa.dbf"));
        const QString slip = table(QStringLiteral("aviso/semfim.dbf"), [](QByteArray b) {
            b.chop(1);
            return b;
        });

        auto notice = answerNextBox(QStringLiteral("&Ok"));
        w->Table1->Bind(damaged);
        w->Table1->Open();
        QCOMPARE(notice->count, 1);
        QCOMPARE(notice->title, QStringLiteral("!!! Aviso !!!"));
        QCOMPARE(notice->text,
                 QStringLiteral("A tabela %1 está danificada (use \"Verificar tabela...\" no menu de contexto da caixa "
                                "da tabela):\n  %1: cabeçalho: o cabeçalho conta 3 registros, mas o arquivo tem 5")
                     .arg(damaged));
        // Opened again, also from the other box: said already.
        auto again = answerNextBox(QStringLiteral("&Ok"));
        w->Table1->Close();
        w->Table1->Open();
        w->Table2->Bind(damaged);
        w->Table2->Open();
        w->Table1->Close();
        w->Table2->Close();
        for (const QString& path : {sound, slip}) {
            w->Table1->Bind(path);
            w->Table1->Open();
            w->Table1->Close();
        }
        QTest::qWait(50);
        QCOMPARE(again->count, 0);
        cancelPendingAnswers();
        // Writing to it is refused, saying how to mend it.
        answerNextBox(QStringLiteral("&Ok"));
        w->Table1->Bind(damaged);
        w->Table1->Open();
        QString refusal;
        try {
            w->Table1->Append();
            w->Table1->Fields(0)->SetAsString(QStringLiteral("9"));
            w->Table1->Post();
        } catch (const Error& e) {
            refusal = e.text();
        }
        w->Table1->Close();
        QVERIFY2(refusal.endsWith(QStringLiteral("use \"Verificar tabela...\" (ou quillora-cli check e quillora-cli "
                                                 "repair) para verificar e reparar a tabela")),
                 qPrintable(refusal));
        QCOMPARE(rowsOf(damaged).size(), 3);
    }

    // "Cancelar" stops the check: no report, nothing offered, nothing changed.
    void aCancelledCheckChangesNothing()
    {
        const QString path = table(QStringLiteral("cancelada.dbf"), [](QByteArray b) { return withCount(b, 4); });
        const QByteArray before = readFile(path);
        // A check long enough to be cancelled, that stops when told to.
        CheckTableDialog::setCheckFunction([](const QString& p, const check::CheckProgress& progress) {
            check::CheckReport report = check::checkTable(p);
            for (qint64 i = 0; i < 100000 && progress(i % 100, 100); ++i)
                QThread::msleep(2);
            return report;
        });
        w->NTabelaFonte->setText(path);
        w->checkSourceAction->trigger();
        auto* dialog = w->findChild<CheckTableDialog*>();
        QVERIFY(dialog);
        auto* bar = dialog->findChild<QProgressBar*>();
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() > 0);  // the work tells how far it is
        QVERIFY(dialog->cancelButton()->isVisible() && dialog->cancelButton()->isEnabled());
        QVERIFY(!dialog->repairButton()->isEnabled());
        dialog->cancelButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->idle(), 20000);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("checkStatus"))->text(),
                 QStringLiteral("Verificação cancelada; nada foi alterado."));
        QCOMPARE(dialog->reportText(), QString());
        QVERIFY(!dialog->repairButton()->isEnabled() && !dialog->copyButton()->isEnabled());
        QVERIFY(dialog->isVisible());
        QCOMPARE(readFile(path), before);
        closeDialog(dialog);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    toolkit::nameApplication();  // as the program does
    Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    registerBuiltinFormats();
    // The pictures show Qt's own menu items as a Brazilian user sees them.
    QTranslator qtTexts;
    if (!qEnvironmentVariable("QUILLORA_SCREENSHOTS").isEmpty() &&
        qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    CheckTableWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "CheckTableWindowTest.moc"
