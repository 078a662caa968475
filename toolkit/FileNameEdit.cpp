#include "toolkit/FileNameEdit.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
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
