// The main dialog on Qt: template 102 as widgets, Qt's file chooser and
// message boxes, a context menu in place of the window menu, and archives
// dropped on the dialog.
#pragma once

#include <cstdint>
#include <string>

#include "pak_unpacker_dlg.h"
#include "resource_dialog.h"

class CQtProgressBar;
class QMenu;
class QMimeData;

// The dialog's logic with Qt as its platform. Tests derive from it to answer
// the chooser and the boxes from a script and to watch the refreshes.
class CQtPakUnpackerDlg : public CResourceDialog, public CPakUnpackerDlg {
    Q_OBJECT
public:
    explicit CQtPakUnpackerDlg(QWidget* parent = nullptr);
    ~CQtPakUnpackerDlg() override;

    // exec(): shows the dialog and runs its event loop until it ends.
    std::intptr_t DoModal() override;
    // PostOpenPath, unless `path` is empty.
    void OpenWhenShown(const SystemPath& path) override;
    // Runs OnOpenPath(path) once control is back in the dialog's event loop:
    // the dialog is on screen, and a drop has been answered, before the
    // command starts.
    void PostOpenPath(const SystemPath& path);

protected:
    void OnCommand(int id) override;
    // Linux window managers keep their own window menu, so a right-click on
    // the dialog is where its commands come from.
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A drag is taken when ArchiveFromDrop takes what it carries.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    void SetControlText(int id, const std::string& text) override;
    void UpdateWindow() override;
    ProgressBar& Progress() override;
    SystemPath ChooseArchivePath() override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void ShowOutOfMemory(const std::string& text, const std::string& caption) override;
    std::string StringResource(int id) override;
    void AppendToWindowMenu(unsigned int id, const std::string& text) override;
    void SetWindowIcon(int id) override;
    void RunAboutBox() override;
    void DefaultSysCommand(unsigned int id, std::intptr_t param) override;

private:
    // The archive a drag or drop carries by the drop rule; empty when none.
    static SystemPath DroppedArchive(const QMimeData* mime);

    CQtProgressBar* m_progress = nullptr;
    QMenu* m_windowMenu = nullptr;
};
