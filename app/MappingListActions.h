#pragma once

#include <QObject>
#include <QString>

class QAction;
class QPlainTextEdit;
class QPoint;
class QWidget;

namespace quillora::app {

// "Salvar lista..." and "Abrir lista..." for the mapping list (the "Campos:" box): in the
// box's context menu, and Ctrl+S / Ctrl+O anywhere in the main window. The file is what
// `quillora-cli process --map` reads: UTF-8, one mapping per line.
class MappingListActions : public QObject {
    Q_OBJECT

public:
    MappingListActions(QWidget* window, QPlainTextEdit* list);

    QAction* saveAction() const { return save_; }
    QAction* openAction() const { return open_; }

    // Writes the list to `path`; false, after an error box, when it cannot.
    bool save(const QString& path);
    // Puts the file's list in the box (undoable in the box). A file that cannot be read, or
    // with lines that cannot be mappings, is refused with a box saying which lines and why:
    // the list in the box stays as it was.
    bool open(const QString& path);

    // The folder the file dialogs start in: where the last list was saved or opened.
    QString folder() const { return folder_; }
    void setFolder(const QString& folder) { folder_ = folder; }

private:
    void saveChosen();
    void openChosen();
    void showMenu(const QPoint& where);

    QWidget* window_;
    QPlainTextEdit* list_;
    QAction* save_;
    QAction* open_;
    QString folder_;
};

}  // namespace quillora::app
