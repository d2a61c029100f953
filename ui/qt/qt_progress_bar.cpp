// The progress bar adapter between the archive code and Qt.
#include "qt_progress_bar.h"

#include <algorithm>

CQtProgressBar::CQtProgressBar(QWidget* parent) : QProgressBar(parent)
{
    setTextVisible(false);
    Display();
}

void CQtProgressBar::SetRange32(int low, int high)
{
    m_low = low;
    m_high = high;
    SetPos(m_pos);
}

void CQtProgressBar::SetPos(int pos)
{
    // A range given upside down still bounds the position.
    m_pos = std::clamp(pos, std::min(m_low, m_high), std::max(m_low, m_high));
    if (ChangesTheBar())
        Display();
}

bool CQtProgressBar::ChangesTheBar() const
{
    // Qt works out for every value whether the bar must be repainted, which
    // costs more than copying a small entry; moves of less than a pixel are
    // left out here instead. The ends of the range and moves back always show.
    if (m_high <= m_low || m_pos == m_low || m_pos == m_high || m_pos < value())
        return true;
    const qint64 moved = qint64{m_pos} - value();
    return moved * std::max(1, width()) >= qint64{m_high} - m_low;
}

void CQtProgressBar::GetRange(int& low, int& high) const
{
    low = m_low;
    high = m_high;
}

void CQtProgressBar::Display()
{
    // QProgressBar animates "busy" when minimum equals maximum; a range that
    // holds nothing is shown as an empty bar instead.
    if (m_high <= m_low) {
        setRange(0, 1);
        setValue(0);
        return;
    }
    setRange(m_low, m_high);
    setValue(m_pos);
}
