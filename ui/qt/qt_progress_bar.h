// The dialog's progress bar: a QProgressBar that the archive code drives
// through ProgressBar.
#pragma once

#include <QProgressBar>

#include "pak_archive.h"

// Keeps the range and position it was last given, the way a native progress
// control does: the position always lies inside the range. An empty range
// (0..0 before an archive with no entries) shows an empty bar, never Qt's
// busy animation. No percentage text is shown. Starts at 0 of 0..100. The
// bar itself follows the position whenever that moves it by a pixel or more.
class CQtProgressBar : public QProgressBar, public ProgressBar {
    Q_OBJECT
public:
    explicit CQtProgressBar(QWidget* parent = nullptr);

    void SetRange32(int low, int high) override;
    void SetPos(int pos) override;

    void GetRange(int& low, int& high) const;
    int GetPos() const { return m_pos; }

private:
    bool ChangesTheBar() const;
    void Display();

    int m_low = 0;
    int m_high = 100;
    int m_pos = 0;
};
