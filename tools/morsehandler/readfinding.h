#pragma once

#include <QString>
#include <QVector>

namespace morse {

/// One line of a data file that a reader skipped or took in an unusual way: the reading itself
/// is unchanged, the finding only tells what happened to the line.
struct ReadFinding
{
    int line = 0; ///< 1-based line number
    QString reason;
};

/// The findings of one reading, in file order.
using ReadFindings = QVector<ReadFinding>;

} // namespace morse
