#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QAction;
class QLineEdit;
class QMenu;
class QToolButton;

namespace quillora::toolkit {

// A text box for a file name with a browse button beside it. The button (or F8) opens a file
// dialog for an existing file; a file dropped on the box becomes its text. fileName() is the
// text with surrounding double quotes taken off.
class FileNameEdit : public QWidget {
    Q_OBJECT

public:
    explicit FileNameEdit(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    QString fileName() const;

    // The dialog's settings. The filter is written "Descrição|*.a;*.b" and shown as Qt shows
    // filters ("Descrição (*.a *.b)").
    void setDialogTitle(const QString& title) { dialogTitle_ = title; }
    void setFilter(const QString& filter) { filter_ = filter; }
    QString qtFilter() const;
    QString initialDir() const { return initialDir_; }
    void setInitialDir(const QString& dir) { initialDir_ = dir; }

    // Recently used files, most recent first, without repeats, at most maxRecent(); offered in
    // the box's context menu under recentTitle(). Choosing one puts it in the box as if typed.
    QStringList recentFiles() const { return recent_; }
    void setRecentFiles(const QStringList& files);
    // Puts `file` first (moving it up when already listed) and emits recentFilesChanged.
    void addRecentFile(const QString& file);
    static int maxRecent() { return 8; }
    QString recentTitle() const { return recentTitle_; }
    void setRecentTitle(const QString& title) { recentTitle_ = title; }
    // The box's context menu: its editing items, the recent files and the actions added here
    // (the caller shows it).
    QMenu* createContextMenu();
    // An action of the program's own for the file in the box, at the end of the context menu.
    void addMenuAction(QAction* action) { menuActions_ << action; }

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* browseButton() const { return button_; }

    // The directory part of a file name (up to and including its last separator or drive
    // colon); empty when there is none.
    static QString directoryOf(const QString& fileName);

public slots:
    // Emits beforeDialog, then shows the dialog; a chosen file becomes the text.
    void browse();

signals:
    // The focus left the box for another control of the window.
    void exited();
    // Just before the dialog opens: a handler may change the initial directory.
    void beforeDialog();
    void textChanged(const QString& text);
    void recentFilesChanged(const QStringList& files);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QLineEdit* edit_;
    QToolButton* button_;
    QString dialogTitle_;
    QString filter_;
    QString initialDir_;
    QStringList recent_;
    QString recentTitle_ = QStringLiteral("Arquivos recentes");
    QList<QAction*> menuActions_;
};

}  // namespace quillora::toolkit
