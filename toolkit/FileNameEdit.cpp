#include "toolkit/FileNameEdit.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace quillora::toolkit {

FileNameEdit::FileNameEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), button_(new QToolButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(edit_);
    layout->addWidget(button_);
    button_->setIcon(QIcon::fromTheme(QStringLiteral("document-open"),
                                      style()->standardIcon(QStyle::SP_DirOpenIcon)));
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setToolTip(QStringLiteral("Procurar (F8)"));
    setFocusProxy(edit_);
    setAcceptDrops(true);
    edit_->setAcceptDrops(false);  // the whole control takes the drop
    edit_->installEventFilter(this);
    connect(button_, &QToolButton::clicked, this, &FileNameEdit::browse);
    connect(edit_, &QLineEdit::textChanged, this, &FileNameEdit::textChanged);
    edit_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit_, &QWidget::customContextMenuRequested, this, [this](const QPoint& where) {
        QMenu* menu = createContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(edit_->mapToGlobal(where));
    });
}

namespace {

// One spelling per file, so that the same table typed two ways is listed once.
QString sameFile(const QString& file)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(file));
}

}  // namespace

void FileNameEdit::setRecentFiles(const QStringList& files)
{
    recent_.clear();
    QStringList seen;
    for (const QString& f : files) {
        if (f.trimmed().isEmpty() || seen.contains(sameFile(f)))
            continue;
        seen << sameFile(f);
        recent_ << f;
        if (recent_.size() == maxRecent())
            break;
    }
}

void FileNameEdit::addRecentFile(const QString& file)
{
    if (file.trimmed().isEmpty())
        return;
    const QStringList before = recent_;
    setRecentFiles(QStringList{file} + recent_);
    if (recent_ != before)
        emit recentFilesChanged(recent_);
}

QMenu* FileNameEdit::createContextMenu()
{
    QMenu* menu = edit_->createStandardContextMenu();
    menu->setObjectName(QStringLiteral("FileNameEditMenu"));
    menu->addSeparator();
    QMenu* recent = menu->addMenu(recentTitle_);
    recent->setObjectName(QStringLiteral("RecentFilesMenu"));
    recent->setEnabled(!recent_.isEmpty());
    for (const QString& file : recent_) {
        QAction* a = recent->addAction(QString(file).replace(QLatin1Char('&'), QStringLiteral("&&")));
        connect(a, &QAction::triggered, this, [this, file] {
            edit_->setText(file);
            edit_->setFocus(Qt::OtherFocusReason);
        });
    }
    if (!menuActions_.isEmpty()) {
        menu->addSeparator();
        menu->addActions(menuActions_);
    }
    return menu;
}

QString FileNameEdit::text() const { return edit_->text(); }

void FileNameEdit::setText(const QString& text) { edit_->setText(text); }

QString FileNameEdit::fileName() const
{
    const QString t = edit_->text();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"')))
        return t.mid(1, t.size() - 2);
    return t;
}

QString FileNameEdit::directoryOf(const QString& fileName)
{
    for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
        const QChar c = fileName[i];
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return fileName.left(i + 1);
    }
    return {};
}

QString FileNameEdit::qtFilter() const
{
    // "Descrição|padrões|Descrição|padrões": pairs; patterns separated by ";".
    const QStringList parts = filter_.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        // Qt reads the patterns from the parentheses: keep the description's own words only.
        const qsizetype paren = description.indexOf(QLatin1Char('('));
        if (paren >= 0)
            description = description.left(paren).trimmed();
        filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    return filters.join(QLatin1String(";;"));
}

void FileNameEdit::browse()
{
    emit beforeDialog();
    QFileDialog dialog(window(), dialogTitle_, initialDir_, qtFilter());
    dialog.setObjectName(QStringLiteral("FileNameEditDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        edit_->setText(QDir::toNativeSeparators(dialog.selectedFiles().first()));
        edit_->setFocus();
    }
}

bool FileNameEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edit_) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F8) {
            browse();
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            // Leaving for another control of the window; not a dialog or another window
            // taking the focus for a moment.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                emit exited();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FileNameEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void FileNameEdit::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    const QUrl& url = urls.first();
    edit_->setText(url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString());
    event->acceptProposedAction();
}

}  // namespace quillora::toolkit
