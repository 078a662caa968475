#pragma once

#include <QStringList>

#include <optional>

#include "workbench/WorkbenchHost.h"

namespace quillora::test {

// A workbench host with scripted answers that records what the user would have seen.
class ScriptedWorkbenchHost : public workbench::WorkbenchHost {
public:
    std::optional<int> width = 1;
    std::optional<QString> value = QString();
    std::optional<workbench::CutParameters> cut = workbench::CutParameters{};
    workbench::CaseChoice choice = workbench::CaseChoice::Upper;

    QStringList statusTexts;  // every text of status panel 1, in order
    QStringList messages;
    QStringList dialogs;      // which dialogs or questions were shown
    int runs = 0;

    QString status() const { return statusTexts.isEmpty() ? QString() : statusTexts.last(); }
    QStringList progress() const
    {
        QStringList p;
        for (const QString& t : statusTexts)
            if (t.startsWith(QLatin1String("Percentual")))
                p << t;
        return p;
    }

    void setStatusText(const QString& text) override { statusTexts << text; }
    void showMessage(const QString& text) override { messages << text; }
    std::optional<int> askZerosWidth() override
    {
        dialogs << QStringLiteral("Zeros a esquerda");
        return width;
    }
    std::optional<QString> askValueText() override
    {
        dialogs << QStringLiteral("Preechimento de campos");
        return value;
    }
    std::optional<workbench::CutParameters> askCut() override
    {
        dialogs << QStringLiteral("Apaga caracteres");
        return cut;
    }
    workbench::CaseChoice askCase() override
    {
        dialogs << QStringLiteral("Mudar para Maiúsculas ?");
        return choice;
    }
    void runStarted() override { ++runs; }
};

}  // namespace quillora::test
