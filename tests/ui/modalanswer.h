#ifndef MODALANSWER_H
#define MODALANSWER_H

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <functional>

/// Answers the next modal window that matches, so that a test can drive code that runs a modal
/// dialog. Should none appear in time, every modal window is closed: the test fails, not hangs.
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
        QTimer::singleShot(timeoutMs, this, &ModalAnswer::giveUp);
    }

    /// Types that absolute path into the next file dialog, so the folder it remembers does
    /// not matter.
    explicit ModalAnswer(const QString &path)
        : ModalAnswer(ofType<QFileDialog>(), [path](QWidget *w) {
            w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            QMetaObject::invokeMethod(w, "accept");
        })
    { }

    /// Clicks that button of the next message box.
    explicit ModalAnswer(QMessageBox::StandardButton button)
        : ModalAnswer(ofType<QMessageBox>(), clickButton(button))
    { }

    bool answered() const { return mAnswered; }
    /// Title and, for message boxes, text of the answered window.
    QString title() const { return mTitle; }
    QString text() const { return mText; }

    template<typename T> static Match ofType()
    {
        return [](QWidget *w) { return qobject_cast<T *>(w) != nullptr; };
    }
    static Action clickButton(QMessageBox::StandardButton button)
    {
        return [button](QWidget *w) { static_cast<QMessageBox *>(w)->button(button)->click(); };
    }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !mMatch(modal))
            return;
        mPoll.stop();
        mTitle = modal->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            mText = box->text();
        mAnswered = true;
        mAction(modal);
    }

    void giveUp()
    {
        if (mAnswered)
            return;
        mPoll.stop();
        qWarning("ModalAnswer gave up waiting for a modal window");
        for (int guard = 0; guard < 10 && QApplication::activeModalWidget(); ++guard) {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->reject();
            else
                QApplication::activeModalWidget()->close();
        }
    }

    Match mMatch;
    Action mAction;
    QTimer mPoll;
    bool mAnswered = false;
    QString mTitle;
    QString mText;
};

#endif // MODALANSWER_H
