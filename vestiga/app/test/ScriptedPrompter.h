#pragma once
// Answers the controller's dialogs in place of the user: each file dialog
// takes the next prepared answer (an empty answer is a cancelled dialog), and
// every question and message is recorded for the test to check.
#include "Prompter.h"

#include <QStringList>

class ScriptedPrompter : public vestiga::Prompter {
public:
    QStringList answers;   // consumed from the front
    QStringList titles;    // titles of the file dialogs asked, in order
    QStringList messages;  // alerts and informations: "message|details"

    QString openFile(QWidget*, const QString& title, const QString&) override { return next(title); }
    QString saveFile(QWidget*, const QString& title, const QString&, const QString&) override
    {
        return next(title);
    }
    void alert(QWidget*, const QString& message, const QString& details) override
    {
        messages << QStringLiteral("alert:") + message + QLatin1Char('|') + details;
    }
    void inform(QWidget*, const QString& message, const QString& details) override
    {
        messages << QStringLiteral("inform:") + message + QLatin1Char('|') + details;
    }

private:
    QString next(const QString& title)
    {
        titles << title;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
};
