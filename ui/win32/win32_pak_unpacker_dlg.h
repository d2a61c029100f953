// The main dialog on Win32: template 102 run by the system's dialog manager,
// the common file-open dialog, message boxes, the window's system menu, the
// icon drawn when minimised, and files dropped on the dialog.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "pak_unpacker_dlg.h"

// The progress bar control 1005 as the archive code drives it: its 32-bit
// range message and its position message only.
class CWin32ProgressBar : public ProgressBar {
public:
    void Attach(HWND control) { m_hWnd = control; }
    void SetRange32(int low, int high) override;
    void SetPos(int pos) override;

private:
    HWND m_hWnd = nullptr;
};

// The dialog's logic with Win32 as its platform. Tests derive from it to
// answer the chooser and the boxes from a script.
class CWin32PakUnpackerDlg : public CPakUnpackerDlg {
public:
    std::intptr_t DoModal() override;
    void OpenWhenShown(const SystemPath& path) override { m_strOpenPath = path; }

    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    // The dialog procedure's work for one message; true when it was handled,
    // with `result` what the procedure returns.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    void SetControlText(int id, const std::string& text) override;
    void UpdateWindow() override;
    ProgressBar& Progress() override { return m_progress; }
    SystemPath ChooseArchivePath() override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    void ShowOutOfMemory(const std::string& text, const std::string& caption) override;
    std::string StringResource(int id) override;
    void AppendToWindowMenu(unsigned int id, const std::string& text) override;
    void SetWindowIcon(int id) override;
    void RunAboutBox() override;
    void DefaultSysCommand(unsigned int id, std::intptr_t param) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnDropFiles(HDROP drop);

    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    CWin32ProgressBar m_progress;
    SystemPath m_strOpenPath;   // opened once the dialog shows; then cleared
    bool m_bDefaultHandling = false;
};
