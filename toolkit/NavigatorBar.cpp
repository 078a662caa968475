#include "toolkit/NavigatorBar.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "toolkit/MessageBoxes.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace quillora::toolkit {

namespace {

struct ButtonInfo {
    NavigatorBar::Button which;
    const char* name;
    const char* glyph;
    const char* hint;
};

const ButtonInfo infos[] = {
    {NavigatorBar::First, "First", "|\u25C0", "Primeiro registro"},
    {NavigatorBar::Prior, "Prior", "\u25C0", "Registro anterior"},
    {NavigatorBar::Next, "Next", "\u25B6", "Próximo registro"},
    {NavigatorBar::Last, "Last", "\u25B6|", "Último registro"},
    {NavigatorBar::Insert, "Insert", "+", "Inserir registro"},
    {NavigatorBar::Delete, "Delete", "\u2212", "Apagar registro"},
    {NavigatorBar::Edit, "Edit", "\u25B2", "Editar registro"},
    {NavigatorBar::Post, "Post", "\u2713", "Gravar alterações"},
    {NavigatorBar::Cancel, "Cancel", "\u2717", "Cancelar alterações"},
    {NavigatorBar::Refresh, "Refresh", "\u21BB", "Atualizar dados"},
};

}  // namespace

NavigatorBar::NavigatorBar(Table* table, Buttons visible, QWidget* parent) : QWidget(parent), table_(table)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const ButtonInfo& info : infos) {
        if (!(visible & info.which))
            continue;
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(info.name));
        b->setText(QString::fromUtf8(info.glyph));
        b->setToolTip(QString::fromUtf8(info.hint));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        const Button which = info.which;
        connect(b, &QToolButton::clicked, this, [this, which] { press(which); });
        layout->addWidget(b);
        buttons_.append({info.which, b});
    }
    connect(table_, &Table::activeChanged, this, &NavigatorBar::updateButtons);
    connect(table_, &Table::stateChanged, this, &NavigatorBar::updateButtons);
    connect(table_, &Table::currentChanged, this, &NavigatorBar::updateButtons);
    connect(table_, &Table::dataChanged, this, &NavigatorBar::updateButtons);
    updateButtons();
}

QToolButton* NavigatorBar::button(Button which) const
{
    for (const auto& [kind, b] : buttons_)
        if (kind == which)
            return b;
    return nullptr;
}

void NavigatorBar::press(Button which)
{
    try {
        switch (which) {
        case First:
            table_->First();
            break;
        case Prior:
            table_->Prior();
            break;
        case Next:
            table_->Next();
            break;
        case Last:
            table_->Last();
            break;
        case Insert:
            table_->Insert();
            break;
        case Delete:
            if (confirmDelete_ &&
                messageBox(window(), MessageKind::Confirmation, QStringLiteral("Apagar registro?"), toolkit::Ok | toolkit::Cancel) != toolkit::Ok)
                break;
            table_->Delete();
            break;
        case Edit:
            table_->Edit();
            break;
        case Post:
            table_->Post();
            break;
        case Cancel:
            table_->Cancel();
            break;
        case Refresh:
            emit refreshRequested();
            break;
        default:
            break;
        }
    } catch (const Error& e) {
        showErrorBox(window(), e.text());
    }
    updateButtons();
}

void NavigatorBar::updateButtons()
{
    const bool active = table_->Active();
    const Table::State s = table_->state();
    const bool editing = s == Table::State::Edit || s == Table::State::Insert;
    const bool empty = !active || table_->IsEmpty();
    const bool browsing = active && !editing;
    for (const auto& [kind, b] : buttons_) {
        bool on = active;
        switch (kind) {
        case First:
        case Prior:
            on = active && !empty && (editing || !table_->Bof());
            break;
        case Next:
        case Last:
            on = active && !empty && (editing || !table_->Eof());
            break;
        case Delete:
            on = active && !empty;
            break;
        case Edit:
            on = browsing && !empty;
            break;
        case Post:
        case Cancel:
            on = active && editing;
            break;
        default:
            break;
        }
        b->setEnabled(on);
    }
}

}  // namespace quillora::toolkit
