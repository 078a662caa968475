// A column operation through the processing window, as a user runs it: the window open over
// the table with its grid, the column chosen, the toolbar button pressed, the status bar
// repainting; the dialogs are answered by the driver. For bench/workbench.sh, which times it
// beside `quillora-cli column`.
//   quillora-window-workbench TABLE COLUMN zeros|fill|cut|sequence|recno|case [VALUE]
// Prints the run's time and the peak memory.
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tables/io/Journal.h"
#include "toolkit/TableGridModel.h"
#include "workbench/ui/U_Processa.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QToolButton>

#include <sys/resource.h>

#include <cstdio>
#include <memory>

namespace {

// The window with its dialogs and boxes answered at once.
class DrivenWindow : public quillora::workbench::ui::TF_Processa {
public:
    using TF_Processa::TF_Processa;
    QString value = QStringLiteral("1");
    QStringList messages;
    void showMessage(const QString& text) override { messages << text; }
    std::optional<int> askZerosWidth() override { return 5; }
    std::optional<QString> askValueText() override { return value; }
    std::optional<quillora::workbench::CutParameters> askCut() override { return quillora::workbench::CutParameters{2, 3}; }
    quillora::workbench::CaseChoice askCase() override { return quillora::workbench::CaseChoice::Upper; }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "uso: quillora-window-workbench TABELA CAMPO zeros|fill|cut|sequence|recno|case [VALOR]\n");
        return 2;
    }
    quillora::Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    quillora::registerBuiltinFormats();

    // As the window runs for a user (TF_Processa::processa): everything it stores is one
    // operation, journaled, and the table closes inside it.
    quillora::io::Operation operation(QStringLiteral("Processamento de tabela"), {args[1]});
    quillora::Table table(QStringLiteral("Table1"));
    table.Bind(args[1]);
    table.Open();
    auto window = std::make_unique<DrivenWindow>(&table, nullptr);
    DrivenWindow& w = *window;
    if (args.size() > 4)
        w.value = args[4];
    w.show();
    QApplication::processEvents();
    const int field = table.FieldByName(args[2])->Index();
    w.RxDBGrid1->setCurrentIndex(w.DataSource1->index(0, w.DataSource1->columnOfField(field)));
    QToolButton* button = nullptr;
    const QString op = args[3];
    if (op == QLatin1String("zeros"))
        button = w.SpeedButton1;
    else if (op == QLatin1String("fill"))
        button = w.SpeedButton2;
    else if (op == QLatin1String("cut"))
        button = w.SpeedButton3;
    else if (op == QLatin1String("sequence"))
        button = w.SpeedButton4;
    else if (op == QLatin1String("recno"))
        button = w.SpeedButton6;
    else if (op == QLatin1String("case"))
        button = w.SpeedButton7;
    if (!button)
        return 2;
    QElapsedTimer timer;
    timer.start();
    button->click();
    const qint64 ms = timer.elapsed();
    QApplication::processEvents();
    const QStringList messages = w.messages;
    window.reset();
    operation.closeAndFinish([&] { table.Close(); });
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s: %.2f s, %s, pico de memória %ld KiB\n", qPrintable(op), ms / 1000.0,
                qPrintable(messages.value(0, QStringLiteral("(sem mensagem)"))), usage.ru_maxrss);
    return messages.isEmpty() ? 1 : 0;
}
