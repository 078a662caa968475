// Start-up from the desktop: the command line (`quillora TABELA`, --version, --help) and the
// "Sobre o Quillora" box on F1.
#include "app/Quillora.h"
#include "app/StartArguments.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"
#include "toolkit/MessageBoxes.h"

#include <QAction>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quillora;
using namespace quillora::app;
using namespace quillora::test;

class StartTest : public QObject {
    Q_OBJECT

private slots:
    void commandLine()
    {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QDir::setCurrent(dir.path());
        using A = StartArguments::Action;
        struct Case {
            QStringList args;
            A action;
            QString table;
            QString error;
        };
        const Case cases[] = {
            {{}, A::Run, {}, {}},
            {{"CLIENTES.DBF"}, A::Run, dir.path() + "/CLIENTES.DBF", {}},
            {{"/dados/x.db"}, A::Run, "/dados/x.db", {}},
            {{"--", "-estranho.dbf"}, A::Run, dir.path() + "/-estranho.dbf", {}},
            {{"--version"}, A::PrintVersion, {}, {}},
            {{"a.dbf", "-v"}, A::PrintVersion, {}, {}},
            {{"--help"}, A::PrintHelp, {}, {}},
            {{"-h"}, A::PrintHelp, {}, {}},
            {{"--abrir", "a.dbf"}, A::BadUsage, {}, "opção desconhecida: --abrir"},
            {{"a.dbf", "b.dbf"}, A::BadUsage, {}, "só uma tabela pode ser aberta: b.dbf"},
            {{"--abrir", "a.dbf", "--version"}, A::PrintVersion, {}, {}},
            {{"-x", "a.dbf", "b.dbf", "-y"}, A::BadUsage, {}, "opção desconhecida: -x"},
        };
        for (const Case& c : cases) {
            const StartArguments got = parseStartArguments(c.args);
            QVERIFY2(got.action == c.action, qPrintable(c.args.join(' ')));
            if (c.action == A::Run)
                QCOMPARE(got.sourceTable, c.table);
            QCOMPARE(got.error, c.error);
        }
        QDir::setCurrent(before);
        QCOMPARE(versionLine(), QStringLiteral("quillora " QUILLORA_VERSION));
        QVERIFY(startUsage().startsWith(QStringLiteral("uso: quillora [TABELA]\n")));
    }

    // The file the desktop hands over is in "Tabela Fonte:" and bound, as after typing it.
    void tableFromTheDesktopIsTheSource()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/fonte.dbf");
        makeDbf(path, {textField("NOME", 20)}, {{Value::text(QStringLiteral("Ana"))}});
        std::unique_ptr<TF_Principal> w(createWindows());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->openSourceTable(path);
        QCOMPARE(w->NTabelaFonte->text(), path);
        QCOMPARE(w->Table1->FilePath(), path);
        QVERIFY(w->NTabelaDestino->text().isEmpty());
        QVERIFY(w->Table2->FilePath().isEmpty());
    }

    void aboutBoxOnF1()
    {
        std::unique_ptr<TF_Principal> w(createWindows());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));

        // Also in the window's context menu, as the window has no menu bar.
        QCOMPARE(w->contextMenuPolicy(), Qt::ActionsContextMenu);
        QAction* about = w->findChild<QAction*>(QStringLiteral("SobreAcao"));
        QVERIFY(about);
        QVERIFY(w->actions().contains(about));
        QCOMPARE(about->text(), QStringLiteral("Sobre o Quillora..."));

        struct Seen {
            QString title, text, details;
            QStringList buttons;
            bool hasIcon = false;
        };
        auto seen = std::make_shared<Seen>();
        answerNextBox({}, [seen](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                modal->close();
                return;
            }
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->details = box->informativeText();
            seen->hasIcon = !box->iconPixmap().isNull();
            for (QAbstractButton* b : box->buttons())
                seen->buttons << b->text();
            // QUILLORA_SCREENSHOTS=folder: the picture of the box for the documentation.
            const QString shot = qEnvironmentVariable("QUILLORA_SCREENSHOTS");
            if (!shot.isEmpty())
                box->grab().save(shot + QStringLiteral("/about-box.png"));
            box->buttons().first()->click();
        });
        QTest::keyClick(w.get(), Qt::Key_F1);
        QTRY_COMPARE(seen->title, QStringLiteral("Sobre o Quillora"));
        cancelPendingAnswers();
        QCOMPARE(seen->text, QStringLiteral("Quillora " QUILLORA_VERSION));
        QVERIFY2(seen->details.contains(QStringLiteral("licença MIT")), qPrintable(seen->details));
        QVERIFY(seen->hasIcon);
        QCOMPARE(seen->buttons, QStringList{QStringLiteral("OK")});
        QVERIFY(!QApplication::activeModalWidget());
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    toolkit::nameApplication();  // as the program does
    Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    registerBuiltinFormats();
    StartTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "StartTest.moc"
