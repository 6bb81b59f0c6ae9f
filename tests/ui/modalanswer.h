#ifndef MODALANSWER_H
#define MODALANSWER_H

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <functional>

/// Answers the next modal window that matches a test, so that code running a modal dialog can
/// be driven from the test. If none appears in time, every modal window is closed so that the
/// test fails instead of hanging.
class ModalAnswer : public QObject
{
public:
    using Match = std::function<bool(QWidget *)>;
    using Action = std::function<void(QWidget *)>;

    ModalAnswer(Match match, Action action, int timeoutMs = 10000)
        : mMatch(std::move(match))
        , mAction(std::move(action))
    {
        connect(&mPoll, &QTimer::timeout, this, &ModalAnswer::poll);
        mPoll.start(10);
        mDeadline.setSingleShot(true);
        connect(&mDeadline, &QTimer::timeout, this, &ModalAnswer::giveUp);
        mDeadline.start(timeoutMs);
    }

    bool answered() const { return mAnswered; }
    bool timedOut() const { return mTimedOut; }
    /// Title and text of the answered window (the text only for message boxes).
    QString title() const { return mTitle; }
    QString text() const { return mText; }

    /// Any modal window whose class is T.
    template<typename T> static Match ofType()
    {
        return [](QWidget *w) { return qobject_cast<T *>(w) != nullptr; };
    }
    /// Clicks the given button of a message box.
    static Action clickButton(QMessageBox::StandardButton button)
    {
        return [button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (box && box->button(button))
                box->button(button)->click();
        };
    }
    /// Types path into a file dialog and accepts it; an absolute path does not depend on the
    /// folder the dialog remembers.
    static Action typeFileName(const QString &path)
    {
        return [path](QWidget *w) {
            if (auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            QMetaObject::invokeMethod(w, "accept");
        };
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !mMatch(modal))
            return;
        mPoll.stop();
        mDeadline.stop();
        mTitle = modal->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            mText = box->text();
        mAnswered = true;
        mAction(modal);
    }

    void giveUp()
    {
        mPoll.stop();
        mTimedOut = true;
        qWarning("ModalAnswer gave up waiting for a modal window");
        // Close from the top down until no modal window is left.
        for (int guard = 0; guard < 10 && QApplication::activeModalWidget(); ++guard) {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        }
    }

    Match mMatch;
    Action mAction;
    QTimer mPoll;
    QTimer mDeadline;
    bool mAnswered = false;
    bool mTimedOut = false;
    QString mTitle;
    QString mText;
};

#endif // MODALANSWER_H
