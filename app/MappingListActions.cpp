#include "app/MappingListActions.h"

#include "tables/Error.h"
#include "toolkit/MessageBoxes.h"
#include "transfer/MappingFile.h"
#include "transfer/MappingList.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace quillora::app {

namespace {

const QString fileFilter = QStringLiteral("Listas de campos (*.txt);;Todos os arquivos (*)");
// A box lists this many faulty lines at most; the rest are counted.
constexpr qsizetype kProblemsShown = 10;

}  // namespace

MappingListActions::MappingListActions(QWidget* window, QPlainTextEdit* list)
    : QObject(window), window_(window), list_(list)
{
    save_ = new QAction(QStringLiteral("&Salvar lista..."), window);
    save_->setObjectName(QStringLiteral("SalvarLista"));
    save_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    save_->setShortcutContext(Qt::WindowShortcut);
    open_ = new QAction(QStringLiteral("&Abrir lista..."), window);
    open_->setObjectName(QStringLiteral("AbrirLista"));
    open_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open_->setShortcutContext(Qt::WindowShortcut);
    window->addAction(save_);
    window->addAction(open_);
    connect(save_, &QAction::triggered, this, &MappingListActions::saveChosen);
    connect(open_, &QAction::triggered, this, &MappingListActions::openChosen);

    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &MappingListActions::showMenu);
}

void MappingListActions::showMenu(const QPoint& where)
{
    // The box's own editing items, then the list's file items.
    QMenu* menu = list_->createStandardContextMenu(where);
    menu->setObjectName(QStringLiteral("CamposMenu"));
    menu->addSeparator();
    menu->addAction(save_);
    menu->addAction(open_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(list_->viewport()->mapToGlobal(where));
}

bool MappingListActions::save(const QString& path)
{
    try {
        writeMappingFile(path, list_->toPlainText());
    } catch (const Error& e) {
        toolkit::messageBox(window_, toolkit::MessageKind::Error, e.text(), toolkit::Ok);
        return false;
    }
    folder_ = QFileInfo(path).absolutePath();
    list_->document()->setModified(false);
    return true;
}

bool MappingListActions::open(const QString& path)
{
    QString list;
    try {
        list = readMappingFile(path);
    } catch (const Error& e) {
        toolkit::messageBox(window_, toolkit::MessageKind::Error, e.text(), toolkit::Ok);
        return false;
    }
    const QStringList problems = mappingProblems(list);
    if (!problems.isEmpty()) {
        QString text = QStringLiteral("A lista de campos %1 não foi aberta: há linhas que não são um campo destino, "
                                      "um sinal = e a origem.\n")
                           .arg(path);
        text += problems.mid(0, kProblemsShown).join(QLatin1Char('\n'));
        if (problems.size() > kProblemsShown)
            text += QStringLiteral("\n... e mais %1 linhas com erro.").arg(problems.size() - kProblemsShown);
        toolkit::messageBox(window_, toolkit::MessageKind::Error, text, toolkit::Ok);
        return false;
    }
    // Through the cursor, so that the box's own undo brings the old list back.
    QTextCursor cursor(list_->document());
    cursor.select(QTextCursor::Document);
    cursor.insertText(mappingLines(list).join(QLatin1Char('\n')));
    list_->document()->setModified(false);
    folder_ = QFileInfo(path).absolutePath();
    return true;
}

void MappingListActions::saveChosen()
{
    const QString path =
        QFileDialog::getSaveFileName(window_, QStringLiteral("Salvar lista de campos"), folder_, fileFilter);
    if (!path.isEmpty())
        save(path);
}

void MappingListActions::openChosen()
{
    const QString path =
        QFileDialog::getOpenFileName(window_, QStringLiteral("Abrir lista de campos"), folder_, fileFilter);
    if (!path.isEmpty())
        open(path);
}

}  // namespace quillora::app
