// Answers the menus and modal windows a command opens, from a timer, so that
// tests can drive real QFileDialogs, QMessageBoxes, menus and dialogs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <vector>

// Each step runs once, on the next popup menu or modal window that shows up
// after the previous step; it should close that window. A window that shows
// up when no step is left, or that a step leaves open for longer than the
// patience, is closed and reported, so a broken test fails instead of hanging.
class UiScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;

    UiScript();
    UiScript& Then(Step step);

    bool AllStepsRan() const { return m_steps.empty(); }
    // "ClassName 'title'" of every window a step was given, in order.
    const std::vector<QString>& Answered() const { return m_answered; }
    // Windows that showed up unexpectedly or stayed open; empty when all went well.
    const std::vector<QString>& Problems() const { return m_problems; }

private:
    void Poll();

    QTimer m_timer;
    std::deque<Step> m_steps;
    QPointer<QWidget> m_current;
    int m_ticksOpen = 0;
    std::vector<QString> m_answered;
    std::vector<QString> m_problems;
};

// "ClassName 'title'".
QString Describe(const QWidget* window);

// The child of `parent` of type T (named `name`, when given); null when none.
template <class T>
T* ChildOf(QWidget* parent, const char* name = nullptr)
{
    return parent ? parent->findChild<T*>(name ? QString::fromLatin1(name) : QString()) : nullptr;
}
