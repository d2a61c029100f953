// The main dialog: open an archive, show what it holds, extract every entry.
#pragma once

#include <QIcon>
#include <QString>

#include <cstdint>

#include "pak_archive.h"
#include "template_dialog.h"

class CProgressCtrl;
class QMenu;

// What the two commands ask of the user besides the dialog itself: a file
// chooser and message boxes. The dialog answers with Qt's own; tests answer
// from a script.
class PakUnpackerPrompts {
public:
    virtual ~PakUnpackerPrompts() = default;
    // Full path of the archive the user picked; empty when they cancelled.
    virtual QString ChooseArchivePath() = 0;
    // A box with one OK button and no icon; returns once it is dismissed.
    virtual void ShowMessage(const QString& text, const QString& caption) = 0;
    // The warning "Out of memory.", captioned with the application's name.
    virtual void ShowOutOfMemory() = 0;
};

// Owns the archive for the program's whole life. Each command runs to its
// end on the dialog's thread; only the progress bar, message boxes and the
// explicit refresh and repaint points change the screen meanwhile. Running
// out of memory abandons the command where it happened and leaves the dialog
// showing what its last refresh showed.
class CPakUnpackerDlg : public CTemplateDialog, protected PakUnpackerPrompts {
    Q_OBJECT
public:
    explicit CPakUnpackerDlg(QWidget* parent = nullptr);
    ~CPakUnpackerDlg() override;

    // "Open Pak file...": choose, open, show the header values, load the
    // table and write "Scan_log.txt" in the archive's folder.
    void OnOpenPak();
    // "Extract All": every entry of the open archive, one box per failure.
    void OnExtractAll();
    // Window-menu commands; ids 0x10..0x1F open the About box. Linux window
    // managers keep their own window menu, so the dialog's context menu is
    // where this command comes from.
    void OnSysCommand(unsigned int id, std::intptr_t param);

protected:
    void OnCommand(int id) override;
    void DoDataExchange() override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    QString ChooseArchivePath() override;
    void ShowMessage(const QString& text, const QString& caption) override;
    void ShowOutOfMemory() override;

private:
    bool OnInitDialog();
    void OpenPak();
    void ExtractAll();

    PakArchive m_archive;
    CProgressCtrl* m_progress = nullptr;
    QString m_strPakName = QStringLiteral("None");
    QString m_strNumFiles = QStringLiteral("NULL");
    QString m_strSize = QStringLiteral("NULL");
    QString m_strStatus = QStringLiteral("Wait");
    QIcon m_hIcon;
    QMenu* m_windowMenu = nullptr;
};
