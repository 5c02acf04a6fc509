// A dialog service for tests: installs itself for its lifetime, records every box
// and answers questions from a queue, then from a default, without showing anything.
#pragma once

#include "shell/DialogService.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

namespace quillon {

class FakeDialogs : public DialogService {
public:
    struct Box {
        Kind kind;
        QString text;
    };

    FakeDialogs() { setDialogService(this); }
    ~FakeDialogs() override { setDialogService(nullptr); }
    FakeDialogs(const FakeDialogs&) = delete;
    FakeDialogs& operator=(const FakeDialogs&) = delete;

    std::vector<Box> boxes;    // every box shown, in order, with its final text
    std::deque<bool> answers;  // answers to the next questions (true = Yes)
    bool defaultAnswer = true; // the answer once the queue is empty
    // The file questions asked (their captions), and the names that answer them in turn; an
    // empty queue answers as a cancel does.
    QStringList fileQuestions;
    std::deque<QString> fileNames;

    QStringList texts(Kind kind) const {
        QStringList result;
        for (const Box& box : boxes)
            if (box.kind == kind)
                result << box.text;
        return result;
    }
    int count(Kind kind) const { return int(texts(kind).size()); }

protected:
    bool present(Kind kind, const QString& text) override {
        boxes.push_back({kind, text});
        if (kind != Kind::Confirm && kind != Kind::ConfirmDefaultNo)
            return true;
        if (answers.empty())
            return defaultAnswer;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QString askFileName(FileQuestion, const QString& caption, const QString&,
                        const QString&) override {
        fileQuestions << caption;
        if (fileNames.empty())
            return QString();
        const QString name = fileNames.front();
        fileNames.pop_front();
        return name;
    }
};

} // namespace quillon
