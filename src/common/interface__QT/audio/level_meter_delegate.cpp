#include "common/interface__QT/audio/level_meter_delegate.h"

#include <QPainter>
#include <QPointF>

#include <algorithm>
#include <cmath>

namespace {

// Full scale of the mixer's samples: the 16-bit maximum in the upper half.
constexpr double FULL_SCALE = 32768.0 * 65536.0;

// Where a bar turns from green to amber and from amber to red, in dB below full scale.
constexpr double AMBER_DB = -12.0;
constexpr double RED_DB = -3.0;

const QColor GREEN(64, 184, 64);
const QColor AMBER(224, 176, 32);
const QColor RED(224, 48, 32);

double fraction_of_db(double db) { return 1.0 + db / Level_Meter_Delegate::RANGE_DB; }

}  // namespace

double Level_Meter_Delegate::fraction_of_peak(int peak) {
    if (peak <= 0) return 0.0;
    double db = 20.0 * std::log10(peak / FULL_SCALE);
    return std::clamp(fraction_of_db(db), 0.0, 1.0);
}

QSize Level_Meter_Delegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    // Room for the meter beside the name.
    size.setWidth(size.width() + option.fontMetrics.averageCharWidth() * 14);
    return size;
}

void Level_Meter_Delegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const QRect row = option.rect;
    const int width = std::min(row.width() / 2, option.fontMetrics.averageCharWidth() * 12);
    const int margin = std::max(2, row.height() / 6);
    if (width < 8 || row.height() < 2 * margin + 3) return;
    const QRect meter(row.right() - margin - width + 1, row.top() + margin, width, row.height() - 2 * margin);
    const QPointF levels = index.data(LEVELS_ROLE).toPointF();
    const int gap = 1;
    const int bar_height = (meter.height() - gap) / 2;
    painter->save();
    // A groove of the list's own background, so the bars read the same on a selected row.
    const QColor groove = option.palette.color(QPalette::Base).darker(125);
    paint_bar(painter, QRect(meter.left(), meter.top(), meter.width(), bar_height), groove, levels.x());
    paint_bar(painter, QRect(meter.left(), meter.top() + bar_height + gap, meter.width(), bar_height), groove,
              levels.y());
    painter->restore();
}

void Level_Meter_Delegate::paint_bar(QPainter* painter, const QRect& groove, const QColor& groove_color,
                                     double fraction) {
    painter->fillRect(groove, groove_color);
    const int lit = (int)std::lround(std::clamp(fraction, 0.0, 1.0) * groove.width());
    if (lit <= 0) return;
    const int amber_at = (int)std::lround(fraction_of_db(AMBER_DB) * groove.width());
    const int red_at = (int)std::lround(fraction_of_db(RED_DB) * groove.width());
    auto segment = [&](int from, int to, const QColor& color) {
        to = std::min(to, lit);
        if (to > from) painter->fillRect(QRect(groove.left() + from, groove.top(), to - from, groove.height()), color);
    };
    segment(0, amber_at, GREEN);
    segment(amber_at, red_at, AMBER);
    segment(red_at, groove.width(), RED);
}
