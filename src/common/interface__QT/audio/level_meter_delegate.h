#pragma once

#include <QStyledItemDelegate>

// Draws a row's text with a stereo level meter at its right end: two bars, left above right,
// from LEVELS_ROLE (a QPointF of the two levels as fractions of the meter's range, 0..1).
class Level_Meter_Delegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int LEVELS_ROLE = Qt::UserRole + 10;
    // The meter spans this many decibels below full scale.
    static constexpr double RANGE_DB = 60.0;

    explicit Level_Meter_Delegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    // A peak magnitude in the mixer's format as a fraction of the meter (0 at or below its floor).
    static double fraction_of_peak(int peak);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    static void paint_bar(QPainter* painter, const QRect& groove, const QColor& groove_color, double fraction);
};
