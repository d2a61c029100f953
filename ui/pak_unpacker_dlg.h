// The main dialog's logic: the steps of "Open Pak file..." and "Extract All",
// the window-menu command and what running out of memory does, over the
// window system that a front end supplies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pak_archive.h"
#include "system_path.h"

// The open-failure box's caption when the archive's folder can't be made the
// current directory: "Error!Can`t enter the file`s folder!\n".
extern const char* const kErrCantEnterFolder;

// Owns the archive for the program's whole life. Each command runs to its
// end on the dialog's thread; only the progress bar, message boxes and the
// explicit refresh and repaint points change the screen meanwhile. Running
// out of memory abandons the command where it happened and leaves the dialog
// showing what its last refresh showed.
//
// A front end derives from this class, builds the window from template 102,
// calls OnInitDialog once its controls exist, routes the buttons and the
// window-menu commands to the handlers below and supplies the platform layer.
class CPakUnpackerDlg {
public:
    CPakUnpackerDlg();
    virtual ~CPakUnpackerDlg() = default;
    CPakUnpackerDlg(const CPakUnpackerDlg&) = delete;
    CPakUnpackerDlg& operator=(const CPakUnpackerDlg&) = delete;

    // Runs the dialog modally with no parent until it ends; returns the id of
    // the command that ended it (IDCANCEL for Cancel, Escape and the close box).
    virtual std::intptr_t DoModal() = 0;
    // Runs OnOpenPath(path) once the dialog is on screen and its event loop
    // runs again: the command line's archive and a dropped file wait for
    // that. An empty path opens nothing.
    virtual void OpenWhenShown(const SystemPath& path) = 0;

    // The first refresh, the About entry at the end of the window menu (when
    // string 101 is not empty) and the window's icon. Returns true: the focus
    // goes to the first tab stop.
    bool OnInitDialog();
    // "Open Pak file...": the chooser, then the steps of OnOpenPath.
    void OnOpenPak();
    // Opens `path` as a choice in the chooser would: its folder becomes
    // current, the header values show, the table loads and "Scan_log.txt" is
    // written there. When the folder can't be made current the archive is
    // not kept open and the open-failure box says so: nothing is written.
    // The command line and a dropped file come in here; a relative path is
    // taken from the current directory, and the file opened is the one the
    // system finds by the path there (ResolveFullPath). A path the system
    // refuses fails as a file that can't be opened; a relative one while the
    // current directory's path can't be told opens nothing and the box says
    // the folder can't be entered. An empty path does nothing.
    void OnOpenPath(const SystemPath& path);
    // "Extract All": every entry of the open archive, one box per failure.
    void OnExtractAll();
    // Window-menu commands: ids 0x10..0x1F open the About box, the rest go to
    // the platform's own handling.
    void OnSysCommand(unsigned int id, std::intptr_t param);

protected:
    // The platform layer.

    // With false, the refresh: writes the four texts below into controls
    // 1002, 1003, 1004 and 1001 at once, through SetControlText. The bound
    // controls are static texts only the program changes, so with true there
    // is nothing to read back. Tests override it to watch the refreshes.
    virtual void UpdateData(bool saveAndValidate);
    // Shows `text` in the static text control `id`.
    virtual void SetControlText(int id, const std::string& text) = 0;
    // Paints the dialog now, not when control returns to the event loop.
    virtual void UpdateWindow() = 0;
    // Control 1005, the progress bar the archive operations drive.
    virtual ProgressBar& Progress() = 0;
    // The file-open dialog: the full path of the file the user picked, empty
    // when they cancelled.
    virtual SystemPath ChooseArchivePath() = 0;
    // A box owned by the dialog with one OK button and no icon; returns once
    // it is dismissed.
    virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
    // The system-modal warning (exclamation icon, OK button) for a failed
    // allocation; it must not need much memory itself.
    virtual void ShowOutOfMemory(const std::string& text, const std::string& caption) = 0;
    // String `id` of the program's resources; empty when there is none.
    virtual std::string StringResource(int id) = 0;
    // Appends a separator and the item `id` with `text` to the window menu,
    // when the window has one.
    virtual void AppendToWindowMenu(unsigned int id, const std::string& text) = 0;
    // Sets the window's big and then its small icon to icon `id`.
    virtual void SetWindowIcon(int id) = 0;
    // Runs the About box modally over the dialog.
    virtual void RunAboutBox() = 0;
    // The platform's handling of a window-menu command that isn't ours.
    virtual void DefaultSysCommand(unsigned int id, std::intptr_t param) = 0;

    PakArchive m_archive;
    std::string m_strPakName = "None";
    std::string m_strNumFiles = "NULL";
    std::string m_strSize = "NULL";
    std::string m_strStatus = "Wait";

private:
    void OpenPath(const SystemPath& path);
    void CloseArchive();   // no archive open, no table
    void ExtractAll();
    void ReportOutOfMemory();
};

// The front end's main dialog (ui/qt, ui/win32), not yet shown.
std::unique_ptr<CPakUnpackerDlg> NewMainDialog();
