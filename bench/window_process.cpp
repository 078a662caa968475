// "Processar" through the main window, as a user runs it: the file edits and the mapping list
// filled, an operation chosen and BProcessar pressed, with the progress window painting. For
// bench/run.sh, which times it beside `quillora-cli process` and dbfcat.
//   quillora-window-process --source S --dest D --map FILE [--operation NAME]
// Prints the run's time, how often the progress window was painted and the peak memory.
#include "app/ProgressBar.h"
#include "app/Quillora.h"
#include "app/U_Progresso.h"
#include "tables/Regional.h"
#include "tables/engine/Engine.h"
#include "transfer/Transfer.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "toolkit/FileNameEdit.h"

#include <sys/resource.h>

#include <cstdio>
#include <memory>

namespace {

class PaintCounter : public QObject {
public:
    qint64 paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QString source, dest, map, operation = QStringLiteral("Adicionar");
    const QStringList args = QApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--source"))
            source = args[i + 1];
        else if (args[i] == QLatin1String("--dest"))
            dest = args[i + 1];
        else if (args[i] == QLatin1String("--map"))
            map = args[i + 1];
        else if (args[i] == QLatin1String("--operation"))
            operation = args[i + 1];
    }
    QFile mapFile(map);
    const int op = quillora::operationFromText(operation);
    if (source.isEmpty() || dest.isEmpty() || op < 0 || !mapFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "uso: quillora-window-process --source S --dest D --map ARQUIVO [--operation NOME]\n");
        return 2;
    }
    quillora::Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    quillora::registerBuiltinFormats();

    std::unique_ptr<quillora::app::TF_Principal> w(quillora::app::createWindows());
    w->show();
    PaintCounter counter;
    w->progressWindow()->PBar->installEventFilter(&counter);
    w->NTabelaFonte->setText(source);
    w->NTabelaDestino->setText(dest);
    w->Memo1->setPlainText(QString::fromUtf8(mapFile.readAll()));
    w->ComboBox1->setCurrentIndex(op);

    // A box during the run (an error question) has nobody to answer it here: report and stop.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "quillora-window-process: %s\n", qPrintable(box->text()));
            std::_Exit(1);
        }
    });
    watch.start(100);

    QElapsedTimer clock;
    clock.start();
    w->BProcessar->click();
    const qint64 ms = clock.elapsed();
    w.reset();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "window run: %lld ms, progress bar painted %lld times, peak memory %ld KiB\n",
                 static_cast<long long>(ms), static_cast<long long>(counter.paints), usage.ru_maxrss);
    return 0;
}
