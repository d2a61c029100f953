// The scripted main dialog every UI suite drives, over the logic alone, the
// Qt dialog or the Win32 one: the file chooser answers from a script, the
// boxes are logged instead of shown, and so is every refresh, with the four
// texts as the dialog's controls then show them.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "system_path.h"

using Log = std::vector<std::string>;

// `Dialog` is CPakUnpackerDlg or a front end's dialog derived from it. A
// suite derives from Scripted<Dialog> for what only its platform has: Shown()
// and, over the logic alone, the rest of the platform layer.
template <class Dialog>
class Scripted : public Dialog {
public:
    std::deque<std::string> choices;   // the chooser's answers in turn; none left cancels
    Log log;

    // The four fields as the controls show them: name | count | size | status.
    virtual std::string Shown() const = 0;

    // The log without progress steps ("pos ", "range ") and paints ("paint ").
    Log Said() const
    {
        Log kept;
        for (const std::string& entry : log) {
            if (entry.rfind("pos ", 0) != 0 && entry.rfind("range ", 0) != 0 && entry.rfind("paint ", 0) != 0)
                kept.push_back(entry);
        }
        return kept;
    }

protected:
    void UpdateData(bool saveAndValidate) override
    {
        Dialog::UpdateData(saveAndValidate);
        log.push_back((saveAndValidate ? "save " : "refresh ") + Shown());
    }
    SystemPath ChooseArchivePath() override
    {
        log.push_back("choose");
        SystemPath choice;
        if (!choices.empty()) {
            choice = choices.front();
            choices.pop_front();
        }
        return choice;
    }
    void ShowMessage(const std::string& text, const std::string& caption) override
    {
        log.push_back("box " + caption + " / " + text);
    }
    void ShowOutOfMemory(const std::string& text, const std::string& caption) override
    {
        log.push_back("warning " + caption + " / " + text);
    }
};
