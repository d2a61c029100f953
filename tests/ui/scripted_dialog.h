// The main dialog with a scripted file chooser and message boxes, and a log
// of what the user would see: refreshes, boxes, progress steps and paints.
#pragma once

#include <QEvent>
#include <QLabel>

#include <deque>
#include <string>
#include <vector>

#include "pak_unpacker_dlg.h"
#include "qt_progress_bar.h"
#include "resource.h"

// A text with its line feeds written as \n.
inline std::string Visible(const QString& text)
{
    return QString(text).replace('\n', QStringLiteral("\\n")).toStdString();
}

class ScriptedDlg : public CPakUnpackerDlg {
public:
    std::deque<QString> choices;     // the chooser's answers in turn; "" cancels
    std::vector<std::string> log;

    ScriptedDlg()
    {
        connect(Progress(), &QProgressBar::valueChanged, this,
                [this](int value) { log.push_back("pos " + std::to_string(value)); });
    }

    QString Text(int id) const { return qobject_cast<QLabel*>(GetDlgItem(id))->text(); }
    CProgressCtrl* Progress() const { return qobject_cast<CProgressCtrl*>(GetDlgItem(IDC_PROGRESS)); }
    // The progress bar's range and position: "0..2 at 1".
    std::string Bar() const
    {
        int low = 0;
        int high = 0;
        Progress()->GetRange(low, high);
        return std::to_string(low) + ".." + std::to_string(high) + " at " + std::to_string(Progress()->GetPos());
    }
    // The four fields as shown: name | count | size | status.
    std::string Shown() const
    {
        return Visible(Text(IDC_PAK_NAME) + " | " + Text(IDC_NUM_FILES) + " | " + Text(IDC_SIZE) +
                       " | " + Text(IDC_STATUS));
    }
    // Logs each paint of the status field with the word it paints.
    void WatchPaints() { GetDlgItem(IDC_STATUS)->installEventFilter(this); }

    // The log without the entries that start with `prefix`.
    std::vector<std::string> LogWithout(const std::string& prefix) const
    {
        std::vector<std::string> kept;
        for (const std::string& entry : log)
            if (entry.compare(0, prefix.size(), prefix) != 0)
                kept.push_back(entry);
        return kept;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            log.push_back("paint " + Visible(Text(IDC_STATUS)));
        return CPakUnpackerDlg::eventFilter(watched, event);
    }
    QString ChooseArchivePath() override
    {
        log.push_back("choose");
        if (choices.empty())
            return QString();
        const QString choice = choices.front();
        choices.pop_front();
        return choice;
    }
    void ShowMessage(const QString& text, const QString& caption) override
    {
        log.push_back("box " + Visible(caption) + " / " + Visible(text));
    }
    void ShowOutOfMemory() override { log.push_back("out of memory"); }
    void DoDataExchange() override
    {
        CPakUnpackerDlg::DoDataExchange();
        log.push_back("refresh " + Shown());
    }
};
