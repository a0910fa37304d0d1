#pragma once

#include <QLineEdit>

class QStyleOptionFrame;

// The minutes entry: a box the design makes 24 x 18 px, in which numbers of
// up to four characters ("120", "12.5", "0.25") show whole and digits are
// as tall as the unit beside them lets them be. It gains room on its frame
// and margins, not on the size of its face.
class MinutesEntry : public QLineEdit {
public:
    explicit MinutesEntry(QWidget *parent = nullptr);

    // Places the box and fits its font to it.
    void place(const QRect &geometry);

protected:
    void initStyleOption(QStyleOptionFrame *option) const override;
};
