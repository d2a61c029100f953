// What the Qt tests share: a timer that answers real windows and the scripted
// main dialog on Qt.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>

#include "dialog_support.h"
#include "qt_pak_unpacker_dlg.h"
#include "qt_progress_bar.h"
#include "resource.h"

// "ClassName 'title'".
inline std::string Describe(const QWidget* window)
{
    return window->metaObject()->className() + (" '" + window->windowTitle() + "'").toStdString();
}

// Each step runs once, on the next popup menu or modal window that shows up
// after the previous step, and should close it. A window that shows up when
// no step is left, or stays open for ten seconds, is closed and reported, so
// a broken test fails instead of hanging.
class UiScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;

    UiScript()
    {
        connect(&m_timer, &QTimer::timeout, this, &UiScript::Poll);
        m_timer.start(10);
    }
    UiScript& Then(Step step)
    {
        m_steps.push_back(std::move(step));
        return *this;
    }
    // Checks that every step ran, each on a window of its own, and nothing else showed up.
    void ExpectAllAnswered() const
    {
        EXPECT_TRUE(m_steps.empty());
        for (const std::string& problem : m_problems)
            ADD_FAILURE() << problem;
    }

private:
    void Poll()
    {
        QWidget* window = QApplication::activePopupWidget();
        if (!window)
            window = QApplication::activeModalWidget();
        if (!window || !window->isVisible() || (window == m_current && ++m_ticksOpen <= 1000))
            return;
        if (window == m_current || m_steps.empty()) {
            m_problems.push_back((window == m_current ? "left open: " : "unexpected: ") + Describe(window));
            window->close();
        } else {
            m_current = window;
            m_ticksOpen = 0;
            const Step step = std::move(m_steps.front());
            m_steps.pop_front();
            step(window);
        }
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    QPointer<QWidget> m_current;
    int m_ticksOpen = 0;
    std::vector<std::string> m_problems;
};

// `dir`/`name` in the scratch folder holding `bytes`; returns its full path.
inline QString Put(const ScratchDir& scratch, const std::string& dir, const std::string& name, const std::string& bytes)
{
    return QString::fromStdString(PutFile(scratch, dir, name, bytes));
}

// The main dialog on Qt, scripted (Scripted), with what the Qt suites look
// at besides: its labels and bar, progress steps and, once watched, paints of
// the status field, all in the same log.
class ScriptedDlg : public Scripted<CQtPakUnpackerDlg> {
public:
    ScriptedDlg()
    {
        connect(Progress(), &QProgressBar::valueChanged, this,
                [this](int value) { log.push_back("pos " + std::to_string(value)); });
    }

    QString Text(int id) const { return qobject_cast<QLabel*>(GetDlgItem(id))->text(); }
    CQtProgressBar* Progress() const { return qobject_cast<CQtProgressBar*>(GetDlgItem(IDC_PROGRESS)); }
    // The progress bar's range and position: "0..2 at 1".
    std::string Bar() const
    {
        int low = 0, high = 0;
        Progress()->GetRange(low, high);
        return std::to_string(low) + ".." + std::to_string(high) + " at " + std::to_string(Progress()->GetPos());
    }
    std::string Shown() const override
    {
        return (Text(IDC_PAK_NAME) + " | " + Text(IDC_NUM_FILES) + " | " + Text(IDC_SIZE) + " | " + Text(IDC_STATUS))
            .toStdString();
    }
    void WatchPaints() { GetDlgItem(IDC_STATUS)->installEventFilter(this); }
    // True when the status field painted `word` before the progress bar's first step.
    bool PaintedBeforeFirstStep(const std::string& word) const
    {
        const auto isStep = [](const std::string& entry) { return entry.rfind("pos ", 0) == 0; };
        const auto step = std::find_if(log.begin(), log.end(), isStep);
        return std::find(log.begin(), step, "paint " + word) != step;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            log.push_back("paint " + Text(IDC_STATUS).toStdString());
        return CQtPakUnpackerDlg::eventFilter(watched, event);
    }
};
