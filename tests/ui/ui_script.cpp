// The timer that answers popups and modal windows for the tests.
#include "ui_script.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>

namespace {

constexpr int kPollMs = 10;
constexpr int kPatienceTicks = 1000;   // ten seconds

void Close(QWidget* window)
{
    if (auto* menu = qobject_cast<QMenu*>(window))
        menu->close();
    else if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
    else
        window->close();
}

} // namespace

QString Describe(const QWidget* window)
{
    return QString::fromLatin1(window->metaObject()->className()) + " '" + window->windowTitle() + "'";
}

UiScript::UiScript()
{
    connect(&m_timer, &QTimer::timeout, this, &UiScript::Poll);
    m_timer.start(kPollMs);
}

UiScript& UiScript::Then(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

void UiScript::Poll()
{
    QWidget* window = QApplication::activePopupWidget();
    if (!window)
        window = QApplication::activeModalWidget();
    if (!window || !window->isVisible())
        return;
    if (window == m_current) {
        if (++m_ticksOpen > kPatienceTicks) {
            m_problems.push_back("left open: " + Describe(window));
            Close(window);
        }
        return;
    }
    m_current = window;
    m_ticksOpen = 0;
    if (m_steps.empty()) {
        m_problems.push_back("unexpected: " + Describe(window));
        Close(window);
        return;
    }
    const Step step = std::move(m_steps.front());
    m_steps.pop_front();
    m_answered.push_back(Describe(window));
    step(window);
}
