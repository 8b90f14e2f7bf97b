#pragma once

// A label for a file path: the whole path stays its text and tooltip, and a path wider
// than the label is drawn shortened in the middle, so that folder and file name both show.

#include <QLabel>
#include <QPainter>

class TPathLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QRect r = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, r.width());
        p.setPen(palette().color(foregroundRole()));
        p.drawText(r, int(alignment()) | Qt::TextSingleLine, shown);
    }
};
