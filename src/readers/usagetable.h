#ifndef USAGETABLE_H
#define USAGETABLE_H

#include "usagerecord.h"

#include <QMap>
#include <QString>
#include <QVector>

// Rows grouped by product type. The key order (UTF-16 code units, case-sensitive) is the
// order in which the report prints the product types.
using UsageRecordList = QVector<UsageRecord>;
using UsageTable = QMap<QString, UsageRecordList>;

#endif // USAGETABLE_H
