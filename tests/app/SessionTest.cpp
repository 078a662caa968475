// What the main window keeps for the user: the mapping list saved and opened as the file
// `quillora-cli process --map` reads, the last session (tables, list, operation, keys,
// filter) and each file box's recent tables. Every test keeps its settings in a file of its
// own: none reads or writes the user's.
#include "app/MappingListActions.h"
#include "app/Quillora.h"
#include "app/SessionMemory.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ResultsFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QLibraryInfo>
#include <QTest>
#include <QTranslator>

#include <memory>

using namespace quillora;
using namespace quillora::app;
using namespace quillora::test;

namespace {

// Types a path into a file box and leaves it for the mapping list, as a user would.
void typeAndLeave(TF_Principal& w, toolkit::FileNameEdit* edit, const QString& path)
{
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    edit->lineEdit()->setFocus(Qt::TabFocusReason);
    edit->setText(path);
    w.Memo1->setFocus(Qt::TabFocusReason);
}

// QUILLORA_SCREENSHOTS=folder: the window with its open menus drawn where they show, for the
// documentation.
void saveWithMenus(QWidget& window, const QList<QMenu*>& menus, const QString& name)
{
    const QString folder = qEnvironmentVariable("QUILLORA_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    QRect all = window.rect();
    for (QMenu* m : menus)
        all |= QRect(m->pos() - origin, m->size());
    QPixmap picture(all.size());
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.drawPixmap(-all.topLeft(), window.grab());
    for (QMenu* m : menus)
        p.drawPixmap(m->pos() - origin - all.topLeft(), m->grab());
    p.end();
    QVERIFY(picture.save(folder + QLatin1Char('/') + name));
}

QStringList actionTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << a->text();
    return texts;
}

}  // namespace

class SessionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QTranslator qtTexts;

    // A window whose memory lives in the settings file `ini`, restored as at start-up.
    std::unique_ptr<TF_Principal> windowWithMemory(QSettings& settings, SessionMemory** memory = nullptr)
    {
        auto w = std::make_unique<TF_Principal>();
        auto* m = new SessionMemory(*w, settings);
        m->restore();
        if (memory)
            *memory = m;
        return w;
    }

private slots:
    void initTestCase()
    {
        Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
        registerBuiltinFormats();
        // The pictures show Qt's own menu items as a Brazilian user sees them.
        if (!qEnvironmentVariable("QUILLORA_SCREENSHOTS").isEmpty() &&
            qtTexts.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&qtTexts);
    }
    void cleanup() { cancelPendingAnswers(); }

    // Saved, opened in a fresh window, the list is the same; quillora-cli runs it as saved.
    void savedListOpensAgainAndTheCliReadsIt()
    {
        const QString list = dir.filePath("campos.txt");
        TF_Principal first;
        first.Memo1->setPlainText("CODIGO=COD\nNOME=NOME\nQTD=#9");
        QVERIFY(first.mappingList->save(list));
        QCOMPARE(readFile(list), QByteArray("CODIGO=COD\nNOME=NOME\nQTD=#9\n"));

        TF_Principal second;
        QVERIFY(second.mappingList->open(list));
        QCOMPARE(second.Memo1->toPlainText(), first.Memo1->toPlainText());

        // UTF-8, one line per mapping, empty lines kept where they were.
        const QString accented = dir.filePath("acentos.txt");
        first.Memo1->setPlainText(QStringLiteral("DESCRIÇÃO=#Conceição\n\nQTD=QTD\n"));
        QVERIFY(first.mappingList->save(accented));
        QCOMPARE(readFile(accented), QByteArray("DESCRI\xC3\x87\xC3\x83O=#Concei\xC3\xA7\xC3\xA3o\n\nQTD=QTD\n"));
        QVERIFY(second.mappingList->open(accented));
        QCOMPARE(second.Memo1->toPlainText(), QStringLiteral("DESCRIÇÃO=#Conceição\n\nQTD=QTD"));

        if (!haveXBase())
            QSKIP("Perl XBase (libdbd-xbase-perl) is not installed: the CLI half of the test is skipped");
        const QString src = dir.filePath("fonte.dbf");
        const QString dst = dir.filePath("destino.dbf");
        QVERIFY(makeResultTables(src, dst));
        QString out, err;
        const int rc = runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"),
                                  {"process", "--source", src, "--dest", dst, "--map", list, "--operation",
                                   "Adicionar", "--locale", "pt_BR"},
                                  &out, &err);
        QCOMPARE(rc, 0);
        QCOMPARE(xbaseDump(dst), QStringList({"ok|1|Ana|5", "ok|2|Bete|6", "ok|4,1|Dora|8", "ok|7|Gil|1", "ok|1|Ana|9",
                                              "ok|2|Bia|9", "ok|3|Caio|9", "ok|4,1|Davi|9"}));
    }

    // A file with lines that cannot be mappings, or that is no UTF-8 text, is refused with the
    // lines and why; the list in the box stays.
    void faultyListIsRefusedAndTheListStays()
    {
        TF_Principal w;
        w.Memo1->setPlainText("A=B");
        const QString bad = dir.filePath("ruim.txt");
        writeFile(bad, "CODIGO=COD\nsem sinal\n=COD\nNOME=  \n\n");
        auto box = answerNextBox(QStringLiteral("&Ok"));
        QVERIFY(!w.mappingList->open(bad));
        QCOMPARE(box->count, 1);
        QCOMPARE(box->text, QStringLiteral("A lista de campos %1 não foi aberta: há linhas que não são um campo destino, "
                                           "um sinal = e a origem.\n"
                                           "Linha 2: falta o sinal = entre o campo destino e a origem: \"sem sinal\"\n"
                                           "Linha 3: falta o nome do campo destino antes do =: \"=COD\"\n"
                                           "Linha 4: falta a origem depois do = (um campo da fonte, #texto ou @número): "
                                           "\"NOME=  \"")
                                .arg(bad));
        QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("A=B"));

        const struct {
            QByteArray bytes;
            const char* says;
        } notText[] = {{"NOME=NOME\n\xFF\xFE\n", "não está em UTF-8"}, {QByteArray("NOME=N\0OME\n", 11), "caracteres de controle"}};
        for (const auto& c : notText) {
            writeFile(bad, c.bytes);
            box = answerNextBox(QStringLiteral("&Ok"));
            QVERIFY(!w.mappingList->open(bad));
            QVERIFY2(box->text.contains(QString::fromUtf8(c.says)), qPrintable(box->text));
            QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("A=B"));
        }
        box = answerNextBox(QStringLiteral("&Ok"));
        QVERIFY(!w.mappingList->open(dir.filePath("nao-existe.txt")));
        QVERIFY2(box->text.startsWith(QStringLiteral("Não foi possível ler a lista de campos")), qPrintable(box->text));
        QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("A=B"));
    }

    // "Salvar lista..." and "Abrir lista..." in the "Campos:" box's menu, Ctrl+S / Ctrl+O in
    // the window.
    void menuAndShortcuts()
    {
        TF_Principal w;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(w.mappingList->saveAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(w.mappingList->openAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));

        w.Memo1->setPlainText("CODIGO=COD\nNOME=NOME\nNASCIMENTO=NASC\nSEQ=@001");
        emit w.Memo1->customContextMenuRequested(QPoint(150, 30));
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr);
        const QStringList texts = actionTexts(menu);
        QVERIFY2(texts.contains(QStringLiteral("&Salvar lista...")) && texts.contains(QStringLiteral("&Abrir lista...")),
                 qPrintable(texts.join('|')));
        QVERIFY2(texts.contains(QStringLiteral("&Copy\tCtrl+C")) || texts.size() > 4, qPrintable(texts.join('|')));
        saveWithMenus(w, {menu}, QStringLiteral("mapping-list-menu.png"));
        menu->close();

        for (auto [key, title] : {std::pair{Qt::Key_O, "Abrir lista de campos"}, std::pair{Qt::Key_S, "Salvar lista de campos"}}) {
            auto dialog = answerNextBox({}, [](QWidget* modal) { modal->close(); });
            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QTest::keyClick(&w, key, Qt::ControlModifier);
            QTRY_COMPARE(dialog->count, 1);
            QCOMPARE(dialog->title, QString::fromUtf8(title));
        }
    }

    // The last session comes back in a new window: paths, list, operation, keys and filter,
    // with no table opened and no word about a table that is gone.
    void sessionComesBackWithoutOpeningTables()
    {
        const QString src = dir.filePath("sessao.dbf");
        makeDbf(src, {textField("COD", 4), textField("NOME", 10)}, {{txt("1"), txt("Ana")}});
        const QString gone = dir.filePath("sumiu/destino.dbf");
        QSettings settings(dir.filePath("sessao.ini"), QSettings::IniFormat);
        {
            SessionMemory* memory = nullptr;
            auto w = windowWithMemory(settings, &memory);
            QVERIFY(w->NTabelaFonte->text().isEmpty());  // nothing remembered yet
            w->NTabelaFonte->setText(src);
            w->NTabelaDestino->setText(gone);
            w->Memo1->setPlainText("CODIGO=COD\nNOME=NOME");
            w->ComboBox1->setCurrentIndex(1);
            w->PreencheChaves({"COD", "NOME"}, {"CODIGO", "NOME"});
            w->ChaveIndPai->setCurrentIndex(0);
            w->ChaveIndFilho->setCurrentIndex(1);
            w->Table1->SetFilter("NOME = 'Ana'");
            w->Table1->SetFiltered(true);
            memory->save();
        }
        auto w = windowWithMemory(settings);
        QCOMPARE(w->NTabelaFonte->text(), src);
        QCOMPARE(w->NTabelaDestino->text(), gone);
        QCOMPARE(w->Memo1->toPlainText(), QStringLiteral("CODIGO=COD\nNOME=NOME"));
        QCOMPARE(w->ComboBox1->currentText(), QStringLiteral("Adicionar/Atualizar"));
        QCOMPARE(w->ChaveIndPai->currentText(), QStringLiteral("COD"));
        QCOMPARE(w->ChaveIndFilho->currentText(), QStringLiteral("NOME"));
        QCOMPARE(w->Table1->Filter(), QStringLiteral("NOME = 'Ana'"));
        QVERIFY(w->Table1->Filtered());
        QCOMPARE(w->BFiltro->text(), QStringLiteral("Filtro...*"));
        // Bound, not opened; the table that is gone says nothing until it is used.
        QCOMPARE(w->Table1->FilePath(), src);
        QCOMPARE(w->Table2->FilePath(), gone);
        QVERIFY(!w->Table1->Active() && !w->Table2->Active());
        QVERIFY(!QApplication::activeModalWidget());

        // The filter works on the remembered table once it is opened.
        w->Table1->Open();
        QCOMPARE(w->Table1->RecordCount(), 1);
        w->Table1->Close();

        // Other settings, another memory: nothing of this session.
        QSettings other(dir.filePath("outra.ini"), QSettings::IniFormat);
        auto fresh = windowWithMemory(other);
        QVERIFY(fresh->NTabelaFonte->text().isEmpty());
        QVERIFY(fresh->Memo1->toPlainText().isEmpty());
        QCOMPARE(fresh->ComboBox1->currentIndex(), -1);
        QVERIFY(!fresh->Table1->Filtered());
    }

    // Each file box lists the tables used in it, most recent first, once each, at most 8;
    // the list survives the session; choosing one puts it in the box.
    void recentTables()
    {
        toolkit::FileNameEdit edit;
        QSignalSpy changed(&edit, &toolkit::FileNameEdit::recentFilesChanged);
        for (int i = 1; i <= 10; ++i)
            edit.addRecentFile(QStringLiteral("/t/%1.dbf").arg(i));
        edit.addRecentFile(QStringLiteral("/t/./8.dbf"));
        QCOMPARE(edit.recentFiles(), QStringList({"/t/./8.dbf", "/t/10.dbf", "/t/9.dbf", "/t/7.dbf", "/t/6.dbf",
                                                  "/t/5.dbf", "/t/4.dbf", "/t/3.dbf"}));
        QCOMPARE(changed.size(), 11);

        const QString a = dir.filePath("a.dbf");
        const QString b = dir.filePath("b.dbf");
        for (const QString& p : {a, b})
            makeDbf(p, {textField("COD", 4)}, {});
        QSettings settings(dir.filePath("recentes.ini"), QSettings::IniFormat);
        {
            auto w = windowWithMemory(settings);
            w->show();
            typeAndLeave(*w, w->NTabelaFonte, a);
            typeAndLeave(*w, w->NTabelaFonte, dir.filePath("nao-existe.dbf"));  // not a table: not listed
            typeAndLeave(*w, w->NTabelaFonte, b);
            typeAndLeave(*w, w->NTabelaFonte, a);
            typeAndLeave(*w, w->NTabelaDestino, b);
            QCOMPARE(w->NTabelaFonte->recentFiles(), QStringList({a, b}));
            // Written as they change, before the session ends.
            QCOMPARE(settings.value("recentes/fonte").toStringList(), QStringList({a, b}));
        }
        auto w = windowWithMemory(settings);
        QCOMPARE(w->NTabelaFonte->recentFiles(), QStringList({a, b}));
        QCOMPARE(w->NTabelaDestino->recentFiles(), QStringList({b}));

        std::unique_ptr<QMenu> menu(w->NTabelaFonte->createContextMenu());
        auto* recent = menu->findChild<QMenu*>(QStringLiteral("RecentFilesMenu"));
        QVERIFY(recent);
        QCOMPARE(recent->title(), QStringLiteral("Tabelas recentes"));
        QCOMPARE(actionTexts(recent), QStringList({a, b}));
        recent->actions().at(1)->trigger();
        QCOMPARE(w->NTabelaFonte->text(), b);

        if (!qEnvironmentVariable("QUILLORA_SCREENSHOTS").isEmpty()) {
            // Paths as a user's would read, for the picture.
            w->NTabelaFonte->setText(QStringLiteral("/dados/vendas/clientes.dbf"));
            w->NTabelaFonte->setRecentFiles({QStringLiteral("/dados/vendas/clientes.dbf"),
                                             QStringLiteral("/dados/vendas/pedidos.db"),
                                             QStringLiteral("/dados/2023/clientes.dbf")});
            menu.reset(w->NTabelaFonte->createContextMenu());
            recent = menu->findChild<QMenu*>(QStringLiteral("RecentFilesMenu"));
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            menu->popup(w->NTabelaFonte->lineEdit()->mapToGlobal(QPoint(60, 14)));
            recent->popup(menu->pos() + QPoint(menu->width() - 6, menu->actionGeometry(recent->menuAction()).top()));
            saveWithMenus(*w, {menu.get(), recent}, QStringLiteral("recent-tables.png"));
            recent->close();
            menu->close();
        }
    }
};

QTEST_MAIN(SessionTest)
#include "SessionTest.moc"
